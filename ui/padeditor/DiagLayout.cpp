// The pad editor's controls: places in twips, texts, colours and the tab order.

#include <QGroupBox>
#include <QPushButton>

#include "platform/Error.h"
#include "platform/audio/SampleTypes.h"
#include "ui/padeditor/Colours.h"
#include "ui/padeditor/Diag.h"
#include "ui/padeditor/TextBox.h"
#include "ui/toolkit/DirList.h"
#include "ui/toolkit/DriveList.h"
#include "ui/toolkit/FileList.h"
#include "ui/toolkit/Twips.h"

namespace varnkit::ui {
namespace {

void button(QPushButton* b, const char* caption, int top) {
  b->setText(caption);
  b->setGeometry(twipsRect(5880, top, 1095, 285));
  b->setAutoDefault(false);  // Enter in the lists must not press a button
}

}  // namespace

void Diag::layOut() {
  setWindowTitle("Form2");
  setFixedSize(px(7035), px(3585));
  QPalette grey = palette();
  grey.setColor(QPalette::Window, colours::dialog());
  setPalette(grey);
  setAutoFillBackground(true);

  Drive1->setGeometry(twipsRect(90, 90, 2805, 315));
  Dir1->setGeometry(twipsRect(90, 480, 2805, 3015));
  File1->setGeometry(twipsRect(2970, 90, 2835, 3405));
  try {
    File1->setPattern(audio::samplePattern());
  } catch (const Error&) {
    // The starting folder could not be read; the first folder the dialog goes to is listed.
  }
  button(Command1, "ok", 3210);
  Root->setGeometry(twipsRect(5880, 360, 1095, 285));
  Root->setText("36");
  Root->setToolTip("Take More Samples");
  button(Command2, "learn", 720);
  Frame1->setTitle("RootKey");
  Frame1->setGeometry(twipsRect(5880, 90, 1095, 285));
  button(Command3, "cancel", 2850);
  button(Command4, "clear", 2490);
  button(Command5, "stop", 2130);
  paintLists();
  paintRoot();
  orderTabs();
}

void Diag::paintLists() {
  for (QWidget* list :
       {static_cast<QWidget*>(Drive1), static_cast<QWidget*>(Dir1), static_cast<QWidget*>(File1)}) {
    QPalette p = list->palette();
    for (auto role : {QPalette::Base, QPalette::Window, QPalette::Button}) {
      p.setColor(role, colours::listBack());
    }
    for (auto role : {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
      p.setColor(role, colours::listText());
    }
    list->setPalette(p);
  }
  // The style shades a drop-down's face; the drive list shows the list colour itself.
  Drive1->setStyleSheet(
      QString("QComboBox { background-color: %1; color: %2; border: 1px solid gray; "
              "padding: 1px 4px; }")
          .arg(colours::listBack().name(), colours::listText().name()));
}

void Diag::orderTabs() {
  // Frame1 (between "learn" and "cancel") takes no focus.
  QWidget* const order[] = {Drive1,   Dir1,     File1,    Command1, Root,
                            Command2, Command3, Command4, Command5};
  for (size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

}  // namespace varnkit::ui
