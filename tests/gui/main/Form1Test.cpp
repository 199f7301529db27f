#include <QImage>
#include <QLabel>
#include <QTest>

#include "app/VarnKit.h"
#include "kit/Drumkit.h"
#include "kit/Funk.h"
#include "tests/gui/main/MainWindowFixture.h"
#include "ui/toolkit/Twips.h"

namespace varnkit::ui {
namespace {

using testing::MainWindowTest;

QImage bmp(QColor c, int w, int h) {
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(c);
  return image;
}

TEST_F(MainWindowTest, EveryControlStandsWhereTheLayoutPutsIt) {
  Form1& f = start();
  EXPECT_EQ(f.size(), QSize(429, 109));
  EXPECT_EQ(f.windowTitle(), "VarnKit");
  const int groupLeft[9] = {270, 990, 1695, 2415, 3135, 3855, 4575, 5295, 6015};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(f.PAD[std::size_t(i)]->geometry(), twipsRect(60 + 720 * i, 285, 585, 585)) << i;
    EXPECT_EQ(f.GP[std::size_t(i)]->geometry(), twipsRect(groupLeft[i], 60, 195, 195)) << i;
  }
  EXPECT_EQ(f.Picture1->geometry(), QRect(0, 72, 433, 38));
  EXPECT_EQ(f.Label1->geometry(), QRect(222, 12, 67, 13));
  EXPECT_EQ(f.Label1->text(), "Kit Name");
  EXPECT_EQ(f.Combo1->geometry(), QRect(290, 12, 117, 19));
  EXPECT_EQ(f.Command1->geometry(), QRect(410, 14, 16, 16));
  EXPECT_EQ(f.Command1->toolTip(), "Save as new Kit");
  EXPECT_EQ(f.Midi_in1->geometry(), QRect(172, 12, 23, 19));
  EXPECT_EQ(f.Label1->parentWidget(), f.Picture1);
  for (PictureBox* holder : {f.U, f.P, f.Loff, f.Lon, f.Lo2, f.UC, f.DC, f.UF, f.DF})
    EXPECT_GE(holder->y(), px(2895));
}

TEST_F(MainWindowTest, WithoutASkinThePadsAndButtonsShowTheBuiltInImages) {
  Form1& f = start();
  EXPECT_EQ(f.U->picture()->pixmap().size(), QSize(40, 40));
  EXPECT_EQ(f.Loff->picture()->pixmap().size(), QSize(13, 13));
  EXPECT_EQ(f.UC->picture()->pixmap().size(), QSize(16, 16));
  EXPECT_NE(f.P->picture()->pixmap().toImage(), f.U->picture()->pixmap().toImage());
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(f.PAD[i]->picture(), f.U->picture());
    EXPECT_EQ(f.GP[i]->picture(), f.Loff->picture());
    EXPECT_EQ(f.PAD[i]->toolTip(), "xxx");
  }
  EXPECT_EQ(f.Command1->picture(), f.UC->picture());
  f.Command1_MouseDown();
  EXPECT_EQ(f.Command1->picture(), f.DC->picture());
  f.Command1_MouseUp();
  EXPECT_EQ(f.Command1->picture(), f.UC->picture());
}

TEST_F(MainWindowTest, APartialSkinReplacesOnlyWhatItHolds) {
  std::filesystem::create_directories(app.path() / "skin");
  // Named as a system that ignores letter case may have named it.
  ASSERT_TRUE(bmp(Qt::magenta, 40, 40).save(QString::fromStdString(app.file("skin/PRESSED.BMP"))));
  testing::writeFile(app.path() / "skin" / "Unpressed.bmp", {'n', 'o', 't'});  // unreadable
  Form1& f = start();
  EXPECT_EQ(f.P->picture()->pixmap().toImage().pixelColor(20, 20), QColor(Qt::magenta));
  EXPECT_NE(f.U->picture()->pixmap().toImage().pixelColor(20, 20), QColor(Qt::magenta));
  EXPECT_EQ(f.U->picture()->pixmap().size(), QSize(40, 40));
  EXPECT_EQ(f.PAD[0]->picture(), f.U->picture());
}

TEST_F(MainWindowTest, IdenticalGroupBitmapsStillGiveThreeDifferentPictures) {
  std::filesystem::create_directories(app.path() / "skin");
  for (const char* name : {"grp0.bmp", "grp1.bmp", "grp2.bmp"})
    ASSERT_TRUE(bmp(Qt::green, 13, 13).save(QString::fromStdString(app.file("skin/") + name)));
  Form1& f = start();
  EXPECT_NE(f.Loff->picture(), f.Lon->picture());
  EXPECT_NE(f.Lon->picture(), f.Lo2->picture());
  f.state().kit().Instrument(4).Grp(2);
  EXPECT_EQ(f.GP[4]->picture(), f.Lo2->picture());
  EXPECT_EQ(f.GP[4]->picture()->pixmap().toImage().pixelColor(5, 5), QColor(Qt::green));
}

TEST_F(MainWindowTest, TheDefaultKitIsLoadedAndNamedWhenItsFileIsThere) {
  writeKit("default", "Boom");
  Form1& f = start();
  EXPECT_EQ(f.Combo1->Text(), "default");
  EXPECT_EQ(f.state().kit().Kitname, "default");
  EXPECT_EQ(f.state().kit().Instrument(0).PAD(), "Boom");
  EXPECT_EQ(f.PAD[0]->toolTip(), "Boom");
  EXPECT_EQ(f.state().kit().Instrument(0).Count(), 1);
  EXPECT_FALSE(f.state().kitChanged);
  EXPECT_TRUE(shown.size() == 1 && shown[0].prompt.find("Midi module") != std::string::npos);
}

TEST_F(MainWindowTest, WithoutADefaultKitThePadsStayClearedAndTheBoxEmpty) {
  writeKit("Rock", "Boom");
  Form1& f = start();
  EXPECT_EQ(f.Combo1->Text(), "");
  EXPECT_EQ(f.state().kit().Instrument(0).PAD(), "xxx");
  EXPECT_EQ(f.state().kit().Instrument(0).Count(), 0);
}

TEST_F(MainWindowTest, ADefaultKitWithAnOddRecordLoadsTheRestAndSaysWhatWasSkipped) {
  std::ofstream(app.path() / "default.txt")
      << "vst samples,d,d,VarnKit,12,0,0,36,Bad,x.wav,0,0,0,0,0,0,0,0,"
         "2,0,0,38,Snare,x.wav,0,0,0,0,0,0,0,0,end";
  Form1& f = start();
  ASSERT_EQ(shown.size(), 2u);  // the missing Midi module, then the kit
  EXPECT_NE(shown[1].prompt.find("pad 12 was skipped"), std::string::npos) << shown[1].prompt;
  EXPECT_EQ(f.Combo1->Text(), "default");
  EXPECT_EQ(f.state().kit().Instrument(1).PAD(), "Snare");
}

TEST_F(MainWindowTest, TheDeviceMenuListsTheDevicesAndReopensTheRememberedOne) {
  WriteSetting("Lastmidi", "2");
  const std::vector<std::string> devices{"Pads In", "E-Kit & Co"};
  Form1& f = start(&devices);
  ASSERT_EQ(f.midi->Count(), 3);
  EXPECT_EQ(f.midi->Caption(0), "No Midi");
  EXPECT_EQ(f.midi->Caption(2), "E-Kit & Co");
  EXPECT_EQ(midiFake->opened, std::vector<int32_t>{1});
  EXPECT_TRUE(f.midi->Checked(2));
  EXPECT_FALSE(f.midi->Checked(0) || f.midi->Checked(1));
  EXPECT_EQ(ReadSetting("LastMidi", "x"), "2");
  EXPECT_TRUE(shown.empty());

  f.m_Click(1);
  EXPECT_TRUE(f.midi->Checked(1));
  EXPECT_FALSE(f.midi->Checked(2));
  EXPECT_EQ(ReadSetting("LastMidi", "x"), "1");
  f.m_Click(0);
  EXPECT_TRUE(f.midi->Checked(0));
  EXPECT_EQ(midiFake->closes, 1);
  EXPECT_EQ(ReadSetting("LastMidi", "x"), "0");
  f.m_Click(-3);  // below 0 is as 0
  EXPECT_TRUE(f.midi->Checked(0));
}

TEST_F(MainWindowTest, TheCommandLineChoosesTheStartKitAndTheMidiInputByName) {
  WriteSetting("Lastmidi", "1");
  writeKit("default", "Boom");
  writeKit("LIVE", "Snare");  // found as "Live" whatever its letter case
  const std::vector<std::string> devices{"Pads In", "E-Kit Drum Port", "Drum Port 2"};
  Form1& f = start(&devices, {"Live", "Drum Port"});
  EXPECT_EQ(f.Combo1->Text(), "Live");
  EXPECT_EQ(f.state().kit().Kitname, "Live");
  EXPECT_EQ(f.state().kit().Instrument(0).PAD(), "Snare");
  EXPECT_FALSE(f.state().kitChanged);
  EXPECT_EQ(midiFake->opened, std::vector<int32_t>{1});  // the first that matches
  EXPECT_TRUE(f.midi->Checked(2));
  EXPECT_TRUE(shown.empty());

  // A name nothing matches opens nothing, and says so.
  Form1& g = start(&devices, {"default", "Roland"});
  EXPECT_TRUE(g.midi->Checked(0));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].prompt.find("\"Roland\""), std::string::npos);
  EXPECT_EQ(g.state().kit().Instrument(0).PAD(), "Boom");
}

TEST_F(MainWindowTest, AFailedOpenNamesTheDeviceAndFallsBackToNoMidi) {
  const std::vector<std::string> devices{"A", "B", "Drum Brain"};
  Form1& f = start(&devices);
  EXPECT_TRUE(f.midi->Checked(0));  // first start: nothing remembered
  EXPECT_EQ(ReadSetting("LastMidi", "x"), "0");
  f.m_Click(2);
  midiFake->refuse = true;
  f.m_Click(3);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].prompt, "Cant open \"Drum Brain\"");
  EXPECT_EQ(shown[0].title, "VarnKit");
  EXPECT_EQ(shown[0].buttons, vbOKOnly);
  EXPECT_TRUE(f.midi->Checked(0));
  EXPECT_FALSE(f.midi->Checked(2) || f.midi->Checked(3));
  EXPECT_EQ(ReadSetting("LastMidi", "x"), "0");
}

TEST_F(MainWindowTest, ARememberedDeviceThatIsGoneOrNoNumberFallsBackQuietly) {
  const std::vector<std::string> devices{"A"};
  for (const char* remembered : {"5", "abc", "", "-4", "99999"}) {
    WriteSetting("Lastmidi", remembered);
    Form1& f = start(&devices);
    EXPECT_TRUE(f.midi->Checked(0)) << remembered;
    EXPECT_EQ(ReadSetting("LastMidi", "x"), "0") << remembered;
    EXPECT_TRUE(shown.empty()) << remembered;
    form.reset();
    CloseSound();
    SetUp();
  }
}

TEST_F(MainWindowTest, WithoutTheMidiModuleTheMenuHoldsOnlyNoMidi) {
  Form1& f = start();
  EXPECT_EQ(f.midi->Count(), 1);
  EXPECT_TRUE(f.midi->Checked(0));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].prompt.find("not registered"), std::string::npos);
}

TEST_F(MainWindowTest, NoSoundDeviceEndsTheProgramWithTheReasonBeforeAnyKitLoads) {
  SetDirectX7(std::make_unique<audio::DirectX7>(
      [](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
        return audio::Failure{audio::DsResult::NoDriver, "No usable sound output device"};
      }));
  std::ofstream(app.path() / "default.txt") << "vst samples,d,d,VarnKit,12,0,0,36,Bad,x.wav,0,0";
  const int status =
      RunVarnKit(app.path().string(), [](ui::MidiMessageSink&, std::string&) { return nullptr; });
  EXPECT_NE(status, 0);
  ASSERT_EQ(shown.size(), 1u);  // no word of the damaged default kit: it was never read
  EXPECT_NE(shown[0].prompt.find("No usable sound output device"), std::string::npos);
  EXPECT_EQ(SoundDevice(), nullptr);
}

TEST_F(MainWindowTest, RendersToAPictureForPeopleToLookAt) {
  writeKit("default", "Kick");
  Form1& f = start();
  f.state().kit().Instrument(2).Grp(1);
  f.state().kit().Instrument(3).Grp(2);
  f.PAD[1]->setPicture(f.P->picture());
  std::filesystem::create_directories(screenshotFolder());
  const QImage shot = f.grab().toImage();
  EXPECT_EQ(shot.size(), QSize(429, 109));
  EXPECT_TRUE(shot.save(QString::fromStdString(screenshotFolder() + "/main-window.png")));
}

}  // namespace
}  // namespace varnkit::ui
