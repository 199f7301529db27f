#include "ui/padeditor/Diag.h"

#include "ui/toolkit/ShownText.h"

#include <QGroupBox>
#include <QPushButton>

#include "kit/Drumkit.h"
#include "platform/Error.h"
#include "kit/Funk.h"
#include "kit/KitState.h"
#include "ui/padeditor/TextBox.h"
#include "ui/toolkit/DirList.h"
#include "ui/toolkit/DriveList.h"
#include "ui/toolkit/FileList.h"
#include "ui/toolkit/MessageBoxService.h"

namespace varnkit::ui {

Diag::Diag(KitState& state, bool& getRoot, QWidget* parent)
    : QDialog(parent),
      Drive1(new DriveList(this)),
      Dir1(new DirList(this)),
      File1(new FileList(this)),
      Command1(new QPushButton(this)),
      Root(new TextBox(this)),
      Command2(new QPushButton(this)),
      Frame1(new QGroupBox(this)),
      Command3(new QPushButton(this)),
      Command4(new QPushButton(this)),
      Command5(new QPushButton(this)),
      state_(state),
      getRoot_(getRoot) {
  layOut();
  connectHandlers();
}

void Diag::showPad(int16_t Index) {
  fill(Index);
  Drive1->setFocus();
  exec();
}

void Diag::fill(int16_t Index) {
  preset& pad = state_.kit().Instrument(Index);
  loading = true;
  curPad = Index;
  Root->setText(std::to_string(pad.RootKey));
  setWindowTitle(shownText("Select Waveforms for " + pad.PAD()));
  goToSamples(pad);
  state_.kitChanged = true;
  loading = false;
}

void Diag::learned(int note) {
  Root->setText(std::to_string(note));
  Command2->setEnabled(true);
  getRoot_ = false;
}

void Diag::done(int result) {
  guarded(&Diag::Form_QueryUnload);
  QDialog::done(result);
}

// A layer folder or "LastDir" folder that went away, or a drive that is not there, leaves the
// lists where they were.
void Diag::goToSamples(preset& pad) {
  for (int i = 0; i < File1->ListCount(); ++i) File1->setSelected(i, false);
  try {
    const Layer* first = pad.Item(1);
    if (first == nullptr) {
      Dir1->setPath(ReadSetting("LastDir", state_.appFolder()));
      return;
    }
    Dir1->setPath(first->path + "/");
    // Only in the layer's own folder: a file of that name elsewhere is another sample.
    if (File1->Path() == Dir1->Path()) selectFile(first->filename);
  } catch (const Error&) {
  }
}

void Diag::selectFile(const std::string& name) {
  for (int i = 0; i < File1->ListCount(); ++i) {
    if (File1->List(i) == name) {
      File1->setSelected(i, true);
      return;
    }
  }
}

void Diag::connectHandlers() {
  route(Drive1, &DriveList::Change, &Diag::Drive1_Change);
  route(Dir1, &DirList::Change, &Diag::Dir1_Change);
  route(File1, &FileList::Click, &Diag::File1_Click);
  route(File1, &FileList::DblClick, &Diag::File1_DblClick);
  route(Command1, &QPushButton::clicked, &Diag::Command1_Click);
  route(Command2, &QPushButton::clicked, &Diag::Command2_Click);
  route(Command3, &QPushButton::clicked, &Diag::Command3_Click);
  route(Command4, &QPushButton::clicked, &Diag::Command4_Click);
  route(Command5, &QPushButton::clicked, &Diag::Command5_Click);
  route(Root, &TextBox::Change, &Diag::Root_Change);
  route(Root, &TextBox::GotFocus, &Diag::Root_GotFocus);
  route(Root, &TextBox::LostFocus, &Diag::Root_LostFocus);
}

template <class Sender, class Signal>
void Diag::route(Sender* sender, Signal signal, Handler handler) {
  connect(sender, signal, this, [this, handler] { guarded(handler); });
}

// One failing call must never end the program: the handler's error is shown and the dialog
// goes on.
void Diag::guarded(Handler handler) {
  try {
    (this->*handler)();
  } catch (const Error& e) {
    report(e.text());
  } catch (const std::exception& e) {
    report(e.what());
  }
}

void Diag::report(const std::string& text) {
  if (loading) return;  // filling the dialog skips every failure
  MessageBoxService(this).MsgBox(text, vbOKOnly | vbExclamation, "");
}

}  // namespace varnkit::ui
