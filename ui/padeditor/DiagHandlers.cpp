// The pad editor's event handlers: browsing and previewing, the buttons, the root-key box and
// closing.

#include <QApplication>
#include <QPushButton>
#include <QSignalBlocker>
#include <optional>

#include "kit/Drumkit.h"
#include "platform/Error.h"
#include "kit/Funk.h"
#include "kit/KitState.h"
#include "platform/audio/PlainPlayer.h"
#include "sound/PadTrigger.h"
#include "ui/padeditor/Colours.h"
#include "ui/padeditor/Diag.h"
#include "ui/padeditor/TextBox.h"
#include "ui/padeditor/WholeNumber.h"
#include "ui/toolkit/DirList.h"
#include "ui/toolkit/DriveList.h"
#include "ui/toolkit/Drives.h"
#include "ui/toolkit/FileList.h"

namespace varnkit::ui {
namespace {

void stopPreview() {
  audio::sndPlaySoundA("", audio::SND_NODEFAULT);
}

}  // namespace

void Diag::Drive1_Change() {
  try {
    Dir1->setPath(currentFolder(Drive1->Drive()));
    File1->setPath(Dir1->Path());
    WriteSetting("LastDir", Dir1->Path());
  } catch (const Error&) {
    // A drive that cannot be read is not taken: the drive list goes back to the folder's.
    const QSignalBlocker quiet(Drive1);
    Drive1->setDrive(Dir1->Path());
  }
}

void Diag::Dir1_Change() {
  Drive1->setDrive(Dir1->Path());  // another drive moves the folder list once more, first
  File1->setPath(Dir1->Path());
  WriteSetting("LastDir", Dir1->Path());
}

void Diag::File1_Click() {
  if (loading || File1->FileName().empty()) return;
  const std::string file = StripBackslash(File1->Path()) + "/" + File1->FileName();
  // The system's default sound tells a file that cannot be played.
  if (!audio::sndPlaySoundA(file, audio::SND_ASYNC)) QApplication::beep();
}

void Diag::File1_DblClick() {
  Command1_Click();
}

void Diag::Command1_Click() {
  stopPreview();
  preset& pad = state_.kit().Instrument(curPad);
  while (pad.Count() >= 1) pad.Remove(1);
  const std::string name = File1->FileName();
  // The folder the file was listed from, which is the one it was heard from.
  if (!name.empty()) pad.add(0, 0, 0, name, StripBackslash(File1->Path()));
  accept();
}

void Diag::Command2_Click() {
  Command2->setEnabled(false);
  getRoot_ = true;
  if (learnChanged_) learnChanged_();
}

void Diag::Command3_Click() {
  stopPreview();
  StopPad(state_, curPad);
  reject();
}

void Diag::Command4_Click() {
  stopPreview();
  for (int i = 0; i < File1->ListCount(); ++i) File1->setSelected(i, false);
}

void Diag::Command5_Click() {
  stopPreview();
  StopPad(state_, curPad);
}

void Diag::Root_Change() {
  const std::optional<int32_t> key = wholeNumber(Root->Text());
  // A note outside MIDI's 0 to 127 could be saved but never played or loaded back.
  rootBad_ = !key || *key < 0 || *key > 127;
  if (!rootBad_) state_.kit().Instrument(curPad).RootKey = *key;
  paintRoot();
}

void Diag::Root_GotFocus() {
  rootFocus_ = true;
  paintRoot();
  Root->setSelection(0, int(Root->text().size()));
}

void Diag::Root_LostFocus() {
  rootFocus_ = false;
  paintRoot();
}

void Diag::paintRoot() {
  Root->setBackColor(rootBad_     ? colours::rootWarning()
                     : rootFocus_ ? colours::rootFocused()
                                  : colours::rootBack());
}

void Diag::Form_QueryUnload() {
  getRoot_ = false;
  if (learnChanged_) learnChanged_();
  Command2->setEnabled(true);
  stopPreview();
}

}  // namespace varnkit::ui
