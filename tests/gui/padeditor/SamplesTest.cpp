// Opening the pad editor, browsing and previewing samples, and setting the pad's sample.

#include <sndfile.h>
#include <QPushButton>

#include <cmath>
#include <filesystem>

#include "sound/PadTrigger.h"
#include "tests/gui/padeditor/PadEditorFixture.h"
#include "tests/gui/toolkit/FakeDrive.h"
#include "ui/toolkit/DirList.h"
#include "ui/toolkit/DriveList.h"

namespace varnkit::ui {
namespace {

namespace fs = std::filesystem;

TEST_F(PadEditorTest, APadWithoutLayersOpensInLastDirElseTheProgramFolderSilently) {
  open(3);
  EXPECT_EQ(d.Dir1->Path(), f.app.path().string());
  EXPECT_EQ(ReadSetting("LastDir", "none"), f.app.path().string());
  d.close();
  f.sample("a.wav", 0.5f);
  WriteSetting("LastDir", f.folder());
  open(3);
  EXPECT_EQ(d.Dir1->Path(), f.folder());
  EXPECT_EQ(d.File1->Path(), f.folder());
  EXPECT_EQ(d.File1->ListCount(), 1);
  EXPECT_EQ(d.File1->FileName(), "");
  EXPECT_EQ(heard(), 0.0f);
  EXPECT_EQ(d.curPad, 3);
  EXPECT_FALSE(d.loading);
}

TEST_F(PadEditorTest, APadWithLayersOpensOnItsFileMatchedByExactCaseWithoutPlayingIt) {
  f.sample("Snare.wav", 0.3f);
  layer(1, "snare.wav", 0.6f);
  WriteSetting("LastDir", f.app.path().string());
  open(1);
  EXPECT_EQ(d.Dir1->Path(), f.folder());
  ASSERT_EQ(d.File1->ListCount(), 2);
  EXPECT_EQ(d.File1->ListIndex(), 1);
  EXPECT_EQ(d.File1->FileName(), "snare.wav");
  EXPECT_EQ(heard(), 0.0f);
  EXPECT_EQ(ReadSetting("LastDir", ""), f.folder());
}

TEST_F(PadEditorTest, AVanishedLayerFolderKeepsTheListsAndPicksNoNamesakeElsewhere) {
  f.sample("kick.wav", 0.2f);
  WriteSetting("LastDir", f.folder());
  open(0);
  d.File1->setSelected(0, true);
  d.close();
  const fs::path gone = f.app.path() / "gone";
  fs::create_directories(gone);
  testing::writeFile(gone / "kick.wav", testing::makeWav(testing::constant(0.4f, 100), {}));
  ASSERT_NE(f.kit().Instrument(2).add(0, 0, 0, "kick.wav", gone.string()), nullptr);
  fs::remove_all(gone);
  open(2);
  EXPECT_EQ(d.Dir1->Path(), f.folder());
  EXPECT_EQ(d.File1->FileName(), "");
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PadEditorTest, TheCloseBoxMarksTheKitChangedButChangesNoLayerAndStopsNoPad) {
  layer(4, "tom.wav", 0.5f);
  f.state.kitChanged = false;
  open(4);
  PlayPad(f.state, 4, 127);
  d.close();
  EXPECT_FALSE(d.isVisible());
  EXPECT_TRUE(f.state.kitChanged);
  EXPECT_EQ(f.kit().Instrument(4).Count(), 1);
  EXPECT_NEAR(heard(), full(0.5f), 1e-6);
}

TEST_F(PadEditorTest, SelectingFilesPreviewsEachAndStopSilencesPreviewAndPad) {
  f.sample("a.wav", 0.2f);
  f.sample("b.wav", 0.4f);
  WriteSetting("LastDir", f.folder());
  open(5);
  testing::writeFile(f.app.path() / "c.wav", testing::makeWav(testing::constant(0.1f, 44100), {}));
  f.kit().Instrument(5).add(0, 0, 0, "c.wav", f.app.path().string());
  clickFile(0);
  EXPECT_NEAR(heard(), full(0.2f), 1e-6);
  QTest::keyClick(d.File1, Qt::Key_Down);
  EXPECT_NEAR(heard(), full(0.4f), 1e-6);
  PlayPad(f.state, 5, 127);
  EXPECT_NEAR(heard(), full(0.4f) + full(0.1f), 1e-6);
  QTest::mouseClick(d.Command5, Qt::LeftButton);
  EXPECT_EQ(heard(), 0.0f);
  EXPECT_TRUE(d.isVisible());
}

TEST_F(PadEditorTest, SamplesOfEveryReadableKindAreListedPreviewedAndTaken) {
  const fs::path dir = f.audio.dir.path();
  testing::writeSoundFile(dir / "Kick.FLAC", testing::constant(0.25f, 44100), {},
                          SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  for (const char* other : {"Crash.MP3", "snare.Aif", "Ride.OGG", "tom.opus", "notes.txt"})
    testing::writeFile(dir / other, {});
  f.sample("hat.wav", 0.5f);
  WriteSetting("LastDir", f.folder());
  open(0);
  std::string listed;
  for (int i = 0; i < d.File1->ListCount(); ++i) listed += d.File1->List(i) + " ";
  EXPECT_EQ(listed, "Crash.MP3 hat.wav Kick.FLAC Ride.OGG snare.Aif tom.opus ");
  clickFile(2);
  EXPECT_NEAR(heard(), 0.25f, 1e-4);
  QTest::mouseClick(d.Command1, Qt::LeftButton);
  ASSERT_EQ(f.kit().Instrument(0).Count(), 1);
  EXPECT_EQ(f.kit().Instrument(0).Item(1)->filename, "Kick.FLAC");
  PlayPad(f.state, 0, 127);
  EXPECT_NEAR(heard(), 0.25f, 1e-4);
}

class SettingTheSample : public PadEditorTest {
 protected:
  // Pad 6 holds two layers; the editor opens on the first, beside "b.wav".
  void SetUp() override {
    layer(6, "x.wav", 0.1f);
    layer(6, "y.wav", 0.3f);
    f.sample("b.wav", 0.4f);
    open(6);
    ASSERT_EQ(d.File1->FileName(), "x.wav");
  }
  // The pad holds just b.wav, plays it at every velocity, and the preview is over.
  void expectOnlyB() {
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(heard(), 0.0f);
    preset& pad = f.kit().Instrument(6);
    ASSERT_EQ(pad.Count(), 1);
    EXPECT_EQ(pad.Item(1)->filename, "b.wav");
    EXPECT_EQ(pad.Item(1)->path, f.folder());
    EXPECT_EQ(pad.Item(1)->velEnd(), 127);
    PlayPad(f.state, 6, 0);
    EXPECT_NEAR(heard(), full(0.4f) * std::pow(10.0f, Layer::levelOf(0) / 2000.0f), 1e-6);
  }
};

TEST_F(SettingTheSample, OkReplacesEveryLayerByTheSelectedFile) {
  clickFile(0);
  QTest::mouseClick(d.Command1, Qt::LeftButton);
  EXPECT_EQ(d.result(), QDialog::Accepted);
  expectOnlyB();
}

TEST_F(SettingTheSample, ADoubleClickOnAFileDoesTheSameAndCloses) {
  QTest::mouseDClick(d.File1->viewport(), Qt::LeftButton, {}, fileAt(0));
  expectOnlyB();
}

TEST_F(SettingTheSample, ClearThenOkLeavesThePadWithoutLayers) {
  QTest::mouseClick(d.Command4, Qt::LeftButton);
  EXPECT_EQ(d.File1->FileName(), "");
  QTest::mouseClick(d.Command1, Qt::LeftButton);
  EXPECT_EQ(f.kit().Instrument(6).Count(), 0);
}

TEST_F(PadEditorTest, OpeningAFolderListsItsFilesAndStoresItAsLastDir) {
  fs::create_directories(f.audio.dir.path() / "toms");
  f.sample("toms/low.wav", 0.2f);
  WriteSetting("LastDir", f.folder());
  open(0);
  QTreeWidgetItem* toms = d.Dir1->currentItem()->child(0);
  QTest::mouseDClick(d.Dir1->viewport(), Qt::LeftButton, {}, d.Dir1->visualItemRect(toms).center());
  EXPECT_EQ(d.File1->Path(), f.folder() + "/toms");
  EXPECT_EQ(d.File1->List(0), "low.wav");
  EXPECT_EQ(ReadSetting("LastDir", ""), f.folder() + "/toms");
}

TEST_F(PadEditorTest, ALayerOnAnotherDriveMovesTheDriveListAndEachDriveKeepsItsFolder) {
  WriteSetting("LastDir", f.folder());
  open(0);
  d.close();
  testing::FakeDrive usb;
  const fs::path samples = fs::path(usb.root()) / "samples";
  fs::create_directories(samples);
  testing::writeFile(samples / "x.wav", testing::makeWav(testing::constant(0.4f, 100), {}));
  ASSERT_NE(f.kit().Instrument(1).add(0, 0, 0, "x.wav", samples.string()), nullptr);
  open(1);
  EXPECT_EQ(d.Drive1->Drive(), usb.root());
  EXPECT_EQ(d.Dir1->Path(), samples.string());
  EXPECT_EQ(d.File1->FileName(), "x.wav");

  QTest::keyClick(d.Drive1, Qt::Key_Up);  // the user picks "/"
  EXPECT_EQ(d.Drive1->Drive(), "/");
  EXPECT_EQ(d.Dir1->Path(), f.folder());
  EXPECT_EQ(d.File1->Path(), f.folder());
  EXPECT_EQ(ReadSetting("LastDir", ""), f.folder());
  QTest::keyClick(d.Drive1, Qt::Key_Down);
  EXPECT_EQ(d.Dir1->Path(), samples.string());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PadEditorTest, ADriveThatCannotBeReadIsNotTaken) {
  WriteSetting("LastDir", f.folder());
  testing::FakeDrive usb;
  open(0);
  d.Drive1->Refresh();
  fs::remove(usb.root());
  QTest::keyClick(d.Drive1, Qt::Key_Down);  // the user picks the drive that went away
  EXPECT_EQ(d.Drive1->Drive(), "/");
  EXPECT_EQ(d.Dir1->Path(), f.folder());
  EXPECT_EQ(ReadSetting("LastDir", ""), f.folder());
  EXPECT_TRUE(boxes.empty());
}

}  // namespace
}  // namespace varnkit::ui
