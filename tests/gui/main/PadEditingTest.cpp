#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "kit/Drumkit.h"
#include "tests/gui/main/MainWindowFixture.h"
#include "ui/padeditor/Diag.h"
#include "ui/padeditor/TextBox.h"

namespace varnkit::ui {
namespace {

class PadEditingTest : public testing::MainWindowTest {
 protected:
  // Right-clicks pad while act runs inside the open editor, then closes it with "cancel".
  void rightClickWhileEditing(Form1& f, int pad, const std::function<void(Diag&)>& act) {
    QTimer::singleShot(0, [&f, act] {
      act(*f.editor());
      f.editor()->Command3->click();
    });
    QTest::mouseClick(f.PAD[std::size_t(pad)], Qt::RightButton);
  }
};

TEST_F(PadEditingTest, ARightClickEditsThePadAndNamesItAfterItsFirstSample) {
  Form1& f = start();
  preset& pad = f.state().kit().Instrument(2);
  testing::writeFile(app.path() / "kick.wav", testing::makeWav(testing::constant(0.1f, 10), {}));
  Layer* layer = pad.add(0, 0, 0, "kick.wav", app.path().string());
  ASSERT_NE(layer, nullptr);
  // Names with a leading dot cannot be ordinary files here, so the layer is renamed once made.
  const std::pair<std::string, std::string> cases[] = {
      {"Kick.WAV", "Kick"},   {"a.wav", "a"},          {".wav", "xxx"},
      {"x.wav.bak", "x.wav"}, {"Snare.FLAC", "Snare"}, {"Hat.aiff", "Hat"},
      {"Ride.opus", "Ride"},  {"notes.txt", "xxx"},    {".flac", "xxx"}};
  for (const auto& [file, name] : cases) {
    layer->filename = file;
    pad.PAD("xxx");
    f.state().kitChanged = false;
    bool opened = false;
    rightClickWhileEditing(f, 2, [&](Diag& d) { opened = d.isVisible() && d.curPad == 2; });
    EXPECT_TRUE(opened) << file;
    EXPECT_EQ(pad.PAD(), name) << file;
    EXPECT_EQ(f.PAD[2]->toolTip().toStdString(), name) << file;
    EXPECT_EQ(f.PAD[2]->picture(), f.U->picture());
    EXPECT_TRUE(f.state().kitChanged);
  }
  rightClickWhileEditing(f, 8, [](Diag&) {});  // no layer I0: the name stays
  EXPECT_EQ(f.state().kit().Instrument(8).PAD(), "xxx");
}

TEST_F(PadEditingTest, LearnInTheEditorTakesTheNextFreeNoteFromTheMidiInput) {
  Form1& f = start();
  std::string boxText;
  bool learnEnabled = false;
  rightClickWhileEditing(f, 2, [&](Diag& d) {
    d.Command2->click();
    EXPECT_TRUE(f.getRoot);
    f.midiEvents().Message(144, 0, 38, 90);  // pad 1's key: ignored
    f.midiEvents().Message(144, 0, 70, 90);
    f.midiEvents().deliver();
    boxText = d.Root->text().toStdString();
    learnEnabled = d.Command2->isEnabled();
  });
  EXPECT_EQ(boxText, "70");
  EXPECT_TRUE(learnEnabled);
  EXPECT_FALSE(f.getRoot);
  EXPECT_EQ(f.state().kit().Instrument(2).RootKey, 70);
  const auto out = SoundDevice()->render(100);
  EXPECT_EQ(out[100], 0.0f);
}

TEST_F(PadEditingTest, ClosingTheWindowClosesTheEditorAndEndsLearning) {
  Form1& f = start();
  rightClickWhileEditing(f, 0, [](Diag&) {});
  f.getRoot = true;
  answer = vbNo;
  EXPECT_TRUE(f.Form_QueryUnload());
  EXPECT_FALSE(f.getRoot);
  EXPECT_EQ(f.editor(), nullptr);
}

TEST_F(PadEditingTest, BothWindowsRenderToPicturesForPeopleToLookAt) {
  writeKit("default", "Kick");
  Form1& f = start();
  std::filesystem::create_directories(screenshotFolder());
  rightClickWhileEditing(f, 0, [this](Diag& d) {
    EXPECT_TRUE(
        d.grab().toImage().save(QString::fromStdString(screenshotFolder() + "/pad-editor.png")));
  });
}

}  // namespace
}  // namespace varnkit::ui
