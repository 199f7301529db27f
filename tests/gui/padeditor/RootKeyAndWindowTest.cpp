// The pad editor's root key, learning, caption, layout and modal showing.

#include <QApplication>
#include <QGroupBox>
#include <QPushButton>
#include <QTimer>

#include "platform/Error.h"
#include "sound/PadTrigger.h"
#include "tests/gui/padeditor/PadEditorFixture.h"
#include "ui/padeditor/TextBox.h"
#include "ui/toolkit/DirList.h"
#include "ui/toolkit/DriveList.h"
#include "ui/toolkit/Twips.h"

namespace varnkit::ui {
namespace {

const QColor kGrey(192, 192, 192);
const QColor kFocused(224, 224, 224);

TEST_F(PadEditorTest, ATypedRootKeyTakesEffectAtOnceAndStaysAfterCancel) {
  layer(7, "hat.wav", 0.5f);
  open(7);
  EXPECT_EQ(d.Root->Text(), "63");
  QTest::mouseClick(d.Root, Qt::LeftButton);
  EXPECT_EQ(d.Root->selectedText(), "63");
  EXPECT_EQ(d.Root->BackColor(), kFocused);
  QTest::keyClicks(d.Root, "40");
  EXPECT_EQ(f.kit().Instrument(7).RootKey, 40);
  PlayPad(f.state, 7, 127);
  QTest::mouseClick(d.Command3, Qt::LeftButton);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(f.kit().Instrument(7).RootKey, 40);
  EXPECT_EQ(f.kit().Instrument(7).Count(), 1);
  EXPECT_EQ(heard(), 0.0f);  // "cancel" stops the pad
  EXPECT_EQ(d.Root->BackColor(), kGrey);
}

TEST_F(PadEditorTest, ARootKeyTextThatIsNoNoteKeepsTheKeyAndWarnsUntilItIs) {
  open(7);
  d.Root->setFocus();
  for (const char* bad : {"", "abc", "99999999999", "1.5", "+-3", "128", "-1"}) {
    d.Root->setText(bad);
    EXPECT_EQ(f.kit().Instrument(7).RootKey, 63) << bad;
    EXPECT_NE(d.Root->BackColor(), kFocused) << bad;
    EXPECT_NE(d.Root->BackColor(), kGrey) << bad;
  }
  d.Root->setText(" 5 ");
  EXPECT_EQ(f.kit().Instrument(7).RootKey, 5);
  EXPECT_EQ(d.Root->BackColor(), kFocused);
  QTest::keyClicks(d.Root, "x");  // typed after the number: the last whole number holds
  EXPECT_EQ(f.kit().Instrument(7).RootKey, 5);
  QTest::keyClick(d.Root, Qt::Key_Tab);
  EXPECT_NE(d.Root->BackColor(), kGrey);  // the warning stays without the focus
  d.fill(7);
  EXPECT_EQ(d.Root->Text(), "5");
  EXPECT_EQ(d.Root->BackColor(), kGrey);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PadEditorTest, LearnArmsUntilANoteIsLearnedOrTheDialogCloses) {
  open(2);
  QTest::mouseClick(d.Command2, Qt::LeftButton);
  EXPECT_FALSE(d.Command2->isEnabled());
  EXPECT_TRUE(getRoot);
  d.learned(50);
  EXPECT_EQ(d.Root->Text(), "50");
  EXPECT_EQ(f.kit().Instrument(2).RootKey, 50);
  EXPECT_TRUE(d.Command2->isEnabled());
  EXPECT_FALSE(getRoot);

  for (int way = 0; way < 3; ++way) {
    open(2);
    QTest::mouseClick(d.Command2, Qt::LeftButton);
    ASSERT_TRUE(getRoot);
    if (way == 0) d.close();
    if (way == 1) QTest::keyClick(&d, Qt::Key_Escape);
    if (way == 2) QTest::mouseClick(d.Command1, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible()) << way;
    EXPECT_FALSE(getRoot) << way;
    EXPECT_TRUE(d.Command2->isEnabled()) << way;
  }
}

TEST_F(PadEditorTest, ShowPadIsModalAndReturnsWhenTheDialogCloses) {
  f.sample("a.wav", 0.5f);
  WriteSetting("LastDir", f.folder());
  bool ran = false;
  QTimer::singleShot(0, &d, [&] {
    ran = d.isVisible() && d.isModal() && QApplication::activeModalWidget() == &d;
    d.File1->setSelected(0, true);
    QTest::mouseClick(d.Command1, Qt::LeftButton);
  });
  d.showPad(3);
  EXPECT_TRUE(ran);
  ASSERT_EQ(f.kit().Instrument(3).Count(), 1);
  EXPECT_EQ(f.kit().Instrument(3).Item(1)->filename, "a.wav");

  f.state.kitChanged = false;
  try {
    d.showPad(9);
    ADD_FAILURE() << "pad 9 was opened";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), Error::kSubscriptOutOfRange);
  }
  EXPECT_EQ(d.curPad, 3);
  EXPECT_FALSE(f.state.kitChanged);
  EXPECT_FALSE(d.isVisible());
}

TEST_F(PadEditorTest, TheCaptionNamesThePadAndTheControlsStandInTheirPlacesColoursAndOrder) {
  EXPECT_EQ(d.windowTitle(), "Form2");
  f.kit().Instrument(0).PAD("Snare");
  open(0);
  EXPECT_EQ(d.windowTitle(), "Select Waveforms for Snare");
  EXPECT_EQ(d.size(), QSize(469, 239));
  EXPECT_EQ(d.palette().color(QPalette::Window), kGrey);
  const std::vector<std::pair<QWidget*, QRect>> places{
      {d.Drive1, twipsRect(90, 90, 2805, 315)},
      {d.Dir1, twipsRect(90, 480, 2805, 3015)},
      {d.File1, twipsRect(2970, 90, 2835, 3405)},
      {d.Command1, twipsRect(5880, 3210, 1095, 285)},
      {d.Root, twipsRect(5880, 360, 1095, 285)},
      {d.Command2, twipsRect(5880, 720, 1095, 285)},
      {d.Frame1, twipsRect(5880, 90, 1095, 285)},
      {d.Command3, twipsRect(5880, 2850, 1095, 285)},
      {d.Command4, twipsRect(5880, 2490, 1095, 285)},
      {d.Command5, twipsRect(5880, 2130, 1095, 285)}};
  for (const auto& [control, place] : places) EXPECT_EQ(control->geometry(), place);
  EXPECT_EQ(d.Command1->text(), "ok");
  EXPECT_EQ(d.Command2->text(), "learn");
  EXPECT_EQ(d.Command3->text(), "cancel");
  EXPECT_EQ(d.Command4->text(), "clear");
  EXPECT_EQ(d.Command5->text(), "stop");
  EXPECT_EQ(d.Frame1->title(), "RootKey");
  EXPECT_EQ(d.Root->toolTip(), "Take More Samples");
  EXPECT_EQ(d.Root->BackColor(), kGrey);
  for (QWidget* list : {static_cast<QWidget*>(d.Drive1), static_cast<QWidget*>(d.Dir1),
                        static_cast<QWidget*>(d.File1)}) {
    const QImage shown = list->grab().toImage();
    EXPECT_EQ(shown.pixelColor(shown.width() - 30, shown.height() / 2), QColor(53, 53, 100));
    EXPECT_EQ(list->palette().color(QPalette::Text), QColor(0, 192, 192));
  }

  d.Drive1->setFocus();
  const std::vector<QWidget*> order{d.Dir1,     d.File1,    d.Command1, d.Root,
                                    d.Command2, d.Command3, d.Command4, d.Command5};
  for (QWidget* next : order) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), next) << next->metaObject()->className();
  }
}

}  // namespace
}  // namespace varnkit::ui
