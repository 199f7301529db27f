#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QSignalSpy>
#include <QTest>

#include "ui/toolkit/DropDown.h"
#include "ui/toolkit/MessageBoxService.h"
#include "ui/toolkit/PopupMenu.h"

namespace varnkit::ui {
namespace {

TEST(DropDown, SettingTheTextFromCodeRaisesChangeLikeTyping) {
  DropDown box;
  QSignalSpy changes(&box, &DropDown::Change);
  box.setText("default");
  EXPECT_EQ(changes.count(), 1);
  EXPECT_EQ(box.Text(), "default");
  box.setText("default");  // the same text again still raises it
  EXPECT_EQ(changes.count(), 2);
  box.AddItem("Rock");
  box.AddItem("Jazz");
  EXPECT_EQ(box.count(), 2);
  EXPECT_EQ(box.Text(), "default");  // adding entries leaves the typed name alone
  EXPECT_EQ(changes.count(), 2);
  box.Clear();
  EXPECT_EQ(box.count(), 0);
  EXPECT_EQ(box.Text(), "default");

  // Only a pick in the open list is a choice; the toolkit's own choosing of an entry (as on
  // Enter or focus loss when the text matches one) leaves the text and raises nothing.
  QSignalSpy clicks(&box, &DropDown::Click);
  box.AddItem("Rock");
  box.AddItem("Jazz");
  box.setCurrentIndex(1);
  emit box.activated(1);
  EXPECT_EQ(clicks.count(), 0);
  EXPECT_EQ(box.Text(), "default");

  box.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
  box.showPopup();
  QAbstractItemView* list = box.view();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(list->window()));
  const QRect jazz = list->visualRect(list->model()->index(1, 0));
  QTest::mouseClick(list->window()->windowHandle(), Qt::LeftButton, {},
                    list->viewport()->mapTo(list->window(), jazz.center()));
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_EQ(box.Text(), "Jazz");
  EXPECT_EQ(box.ListIndex(), 1);
  EXPECT_EQ(changes.count(), 2);  // choosing is no renaming
}

TEST(PopupMenu, ItemsGrowInOrderAndCarryCaptionsAndCheckMarks) {
  PopupMenu m("midi", "No Midi");
  m.Load(1, "Port A & B");
  m.Load(5, "skipped: not the next number");
  EXPECT_EQ(m.Count(), 2);
  EXPECT_EQ(m.Caption(0), "No Midi");
  EXPECT_EQ(m.Caption(1), "Port A & B");
  EXPECT_EQ(m.menu().actions()[1]->text().toStdString(), "Port A && B");
  m.setChecked(1, true);
  EXPECT_TRUE(m.Checked(1));
  EXPECT_FALSE(m.Checked(0));
  QSignalSpy clicks(&m, &PopupMenu::Click);
  m.menu().actions()[0]->trigger();
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks[0][0].toInt(), 0);
  EXPECT_FALSE(m.Checked(0));  // the click itself moves no mark
}

TEST(MessageBoxService, AnswersComeFromTheAnswererWithTheProgramNameAsDefaultTitle) {
  std::vector<MessageBoxRequest> asked;
  MessageBoxService::setAnswerer([&](const MessageBoxRequest& r) {
    asked.push_back(r);
    return vbNo;
  });
  MessageBoxService boxes;
  EXPECT_EQ(boxes.MsgBox("save changes?", vbYesNo, ""), vbNo);
  EXPECT_EQ(boxes.MsgBox("Sure?", vbYesNo | vbQuestion, "Question"), vbNo);
  MessageBoxService::setAnswerer(nullptr);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].title, "VarnKit");
  EXPECT_EQ(asked[1].title, "Question");
}

}  // namespace
}  // namespace varnkit::ui
