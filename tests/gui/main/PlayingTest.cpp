#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <fstream>
#include <thread>

#include "kit/Drumkit.h"
#include "kit/Funk.h"
#include "sound/PadTrigger.h"
#include "tests/gui/main/MainWindowFixture.h"
#include "tests/support/AudioFixture.h"
#include "tests/support/FakeStream.h"
#include "tests/support/Pump.h"

namespace varnkit::ui {
namespace {

using testing::pcm16;

// Each pad gets its own level, so the rendered output tells which pads sound.
class PlayingTest : public testing::MainWindowTest {
 protected:
  Form1& startWithPads(const std::vector<std::string>* midiDevices = nullptr) {
    Form1& f = start(midiDevices);
    for (int16_t i = 0; i < 9; ++i) {
      const std::string name = "pad" + std::to_string(i) + ".wav";
      testing::writeFile(app.path() / name,
                         testing::makeWav(testing::constant(level(i), 44100), {}));
      f.state().kit().Instrument(i).add(0, 0, 0, name, app.path().string());
    }
    return f;
  }
  static float level(int pad) { return 0.01f * float(pad + 1); }
  // What sounds a moment after now (past the fades of anything just stopped).
  float heard() {
    const auto out = SoundDevice()->render(200);
    return out[2 * 150];
  }
  void key(int qtKey, bool press, QWidget* to, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent e(press ? QEvent::KeyPress : QEvent::KeyRelease, qtKey, mods,
                QString(QChar(qtKey).toLower()));
    QApplication::sendEvent(to, &e);
  }
};

TEST_F(PlayingTest, ThePadKeysPlayTheirPadsAtFullVelocityWithOrWithoutShift) {
  Form1& f = startWithPads();
  const int keys[9] = {Qt::Key_Q, Qt::Key_W, Qt::Key_E, Qt::Key_R, Qt::Key_T,
                       Qt::Key_Z, Qt::Key_U, Qt::Key_I, Qt::Key_O};
  for (int pad = 0; pad < 9; ++pad) {
    key(keys[pad], true, &f, pad % 2 ? Qt::ShiftModifier : Qt::NoModifier);
    EXPECT_NEAR(heard(), pcm16(level(pad)), 1e-6) << pad;
    EXPECT_EQ(f.PAD[std::size_t(pad)]->picture(), f.P->picture());
    key(keys[pad], false, &f);
    EXPECT_EQ(f.PAD[std::size_t(pad)]->picture(), f.U->picture());
    EXPECT_NEAR(heard(), pcm16(level(pad)), 1e-6) << "a key release stops nothing";
    StopPad(f.state(), int16_t(pad));
  }
  key(Qt::Key_A, true, &f);
  EXPECT_EQ(heard(), 0.0f);
}

TEST_F(PlayingTest, TheLeftButtonPlaysAndOtherButtonsOnlyPressTheImage) {
  Form1& f = startWithPads();
  QTest::mousePress(f.PAD[3], Qt::MiddleButton);
  EXPECT_EQ(f.PAD[3]->picture(), f.P->picture());
  EXPECT_EQ(heard(), 0.0f);
  QTest::mouseRelease(f.PAD[3], Qt::MiddleButton);
  EXPECT_EQ(f.PAD[3]->picture(), f.U->picture());
  QTest::mousePress(f.PAD[3], Qt::LeftButton);
  EXPECT_NEAR(heard(), pcm16(level(3)), 1e-6);
  QTest::mouseRelease(f.PAD[3], Qt::LeftButton);
  EXPECT_NEAR(heard(), pcm16(level(3)), 1e-6);
}

TEST_F(PlayingTest, GroupButtonsCycleByThePictureTheyShow) {
  Form1& f = start();
  preset& pad = f.state().kit().Instrument(5);
  for (int expected : {1, 2, 0, 1}) {
    QTest::mouseRelease(f.GP[5], Qt::LeftButton);
    EXPECT_EQ(pad.Grp(), expected);
  }
  f.GP[5]->setPicture(f.P->picture());  // none of the three group pictures
  QTest::mouseRelease(f.GP[5], Qt::RightButton);
  EXPECT_EQ(pad.Grp(), 1);
  EXPECT_FALSE(f.state().kitChanged);
}

TEST_F(PlayingTest, NotesPlayEveryPadWithTheirRootKeyAndNoteOffsReleaseThem) {
  Form1& f = startWithPads();
  f.state().kit().Instrument(6).RootKey = 38;  // pad 1 has 38 too
  f.midiEvents().Message(144, 9, 38, 127);
  f.midiEvents().deliver();
  EXPECT_NEAR(heard(), pcm16(level(1)) + pcm16(level(6)), 1e-5);
  EXPECT_EQ(f.PAD[1]->picture(), f.P->picture());
  EXPECT_EQ(f.PAD[6]->picture(), f.P->picture());
  f.midiEvents().Message(128, 0, 38, 0);
  f.midiEvents().deliver();
  EXPECT_EQ(f.PAD[1]->picture(), f.U->picture());
  EXPECT_EQ(f.PAD[6]->picture(), f.U->picture());
  EXPECT_NEAR(heard(), pcm16(level(1)) + pcm16(level(6)), 1e-5);  // the sound plays on

  f.midiEvents().Message(144, 0, 36, 64);  // velocity picks the level
  f.midiEvents().Message(176, 0, 36, 64);  // a control change is ignored
  f.midiEvents().deliver();
  EXPECT_NEAR(
      heard(),
      pcm16(level(1)) + pcm16(level(6)) + pcm16(level(0)) * std::pow(10.0f, -1985 / 2000.0f), 1e-5);
}

TEST_F(PlayingTest, LearnTakesTheNextFreeNoteWithoutPlayingIt) {
  Form1& f = startWithPads();
  f.getRoot = true;
  f.midiEvents().Message(144, 0, 36, 100);  // pad 0's key: not learned, not played
  f.midiEvents().deliver();
  EXPECT_TRUE(f.getRoot);
  EXPECT_EQ(heard(), 0.0f);
  f.midiEvents().Message(128, 0, 36, 0);  // note offs still release images
  f.PAD[0]->setPicture(f.P->picture());
  f.midiEvents().deliver();
  EXPECT_EQ(f.PAD[0]->picture(), f.U->picture());
}

TEST_F(PlayingTest, AFailingSoundCallIsReportedAndThePadsPlayOnAfterIt) {
  Form1& f = startWithPads();
  shown.clear();
  // Nothing renders, so the sound device's command queue fills up and its calls fail.
  for (int burst = 0; burst < 2; ++burst) {
    for (int hit = 0; hit < 2100; ++hit) f.midiEvents().Message(144, 0, 36, 127);
    f.midiEvents().deliver();
  }
  ASSERT_EQ(shown.size(), 1u) << "one word for the whole burst";
  EXPECT_EQ(shown.back().buttons, vbOKOnly | vbExclamation);
  shown.clear();
  SoundDevice()->render(16);
  f.midiEvents().Message(144, 0, 38, 127);
  f.midiEvents().deliver();
  EXPECT_TRUE(shown.empty());
  EXPECT_NEAR(heard(), pcm16(level(0)) + pcm16(level(1)), 1e-5);
}

TEST_F(PlayingTest, AFullMidiQueueDropsAndCountsInsteadOfBlocking) {
  Form1& f = start();
  for (std::size_t i = 0; i < MidiEventQueue::kCapacity + 10; ++i)
    f.midiEvents().Message(176, 0, 1, 1);
  EXPECT_EQ(f.midiEvents().dropped(), 10u);
  f.midiEvents().deliver();
  f.midiEvents().Message(176, 0, 1, 1);
  EXPECT_EQ(f.midiEvents().dropped(), 10u);
}

TEST_F(PlayingTest, MidiMessagesFromAnotherThreadArriveInOrderOnTheWindowThread) {
  const std::vector<std::string> devices{"Keys"};
  Form1& f = startWithPads(&devices);
  f.m_Click(1);
  std::thread midiThread([&] {
    for (int16_t note : {36, 38, 42}) f.midiEvents().Message(144, 0, note, 127);
  });
  midiThread.join();
  ASSERT_TRUE(testing::pumpUntil([&] { return f.PAD[2]->picture() == f.P->picture(); }));
  EXPECT_NEAR(heard(), pcm16(level(0)) + pcm16(level(1)) + pcm16(level(2)), 1e-5);
}

TEST_F(PlayingTest, AMidiHitSoundsTwoDeviceCyclesAfterTheCycleItCameInHoweverLateItIsHandled) {
  SetDirectX7(std::make_unique<audio::DirectX7>(
      [](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
        return audio::Device::openOffline(44100, 256);
      }));
  Form1& f = startWithPads();
  SoundDevice()->render(1000);
  f.midiEvents().Message(144, 0, 36, 127);  // comes in the cycle that starts at frame 1000
  SoundDevice()->render(100);               // and is handled a while later
  f.midiEvents().deliver();
  const auto out = SoundDevice()->render(1024);
  const std::size_t due = 1000 + 2 * 256 - 1100;
  EXPECT_EQ(out[2 * (due - 1)], 0.0f);
  EXPECT_NEAR(out[2 * due], pcm16(level(0)), 1e-6);
  EXPECT_EQ(f.PAD[0]->picture(), f.P->picture());
  QTest::mousePress(f.PAD[1], Qt::LeftButton);  // the mouse is not timed: it sounds at once
  EXPECT_NEAR(SoundDevice()->render(1)[0], pcm16(level(0)) + pcm16(level(1)), 1e-6);
}

// On JACK the mixer decides notes that come with their frame; a pad whose sample fell back to
// the plain player is the window's to play, and so is a note whose group holds such a pad.
TEST_F(PlayingTest, APadThatFellBackToPlainPlaybackSoundsFromJackMidiAsFromTheMouse) {
  auto service = std::make_shared<testing::FakeService>();
  service->name = "JACK";
  service->clockPeriod = 256;
  SetDirectX7(std::make_unique<audio::DirectX7>(
      [service](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
        return testing::openFake(service);
      }));
  Form1& f = startWithPads();
  preset& plain = f.state().kit().Instrument(4);
  plain.Remove(1);
  f.state().setSoundDevice(nullptr);  // its buffer cannot be made: it plays plainly
  ASSERT_TRUE(plain.add(0, 0, 0, "pad4.wav", app.path().string())->playNorm);
  f.state().setSoundDevice(SoundDevice());
  f.publishKit();
  // A note as the JACK MIDI input brings it: first with its frame, then to the window.
  auto note = [&](int key) {
    const uint32_t frame = SoundDevice()->frameClock()->cycleStart();
    f.midiEvents().MessageAt(144, 0, int16_t(key), 127, frame);
    f.midiEvents().Message(144, 0, int16_t(key), 127);
    f.midiEvents().deliver();
    return SoundDevice()->render(1024)[2 * 1000];  // past the hit delay of either way
  };
  const int plainKey = plain.RootKey, bufferKey = f.state().kit().Instrument(0).RootKey;

  EXPECT_NEAR(note(plainKey), pcm16(level(4)), 1e-6);
  EXPECT_NEAR(note(bufferKey), pcm16(level(4)) + pcm16(level(0)), 1e-6);
  for (int16_t i = 0; i < 9; ++i) StopPad(f.state(), i);
  // Pads 0 and 4 share group 1: pad 0 from MIDI cuts pad 4 as the mouse does.
  f.state().kit().Instrument(0).Grp(1);
  plain.Grp(1);
  f.publishKit();
  EXPECT_NEAR(note(plainKey), pcm16(level(4)), 1e-6);
  EXPECT_NEAR(note(bufferKey), pcm16(level(0)), 1e-6);
  QTest::mousePress(f.PAD[4], Qt::LeftButton);
  EXPECT_NEAR(heard(), pcm16(level(4)), 1e-6);
}

TEST_F(PlayingTest, TheKitListShowsOnlyKitFiles) {
  Form1& f = start();
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(app.path() / name, std::ios::binary) << text;
  };
  write("Rock.txt", "VST Samples ,Rock,Rock,VarnKit,");
  write("Jazz.txt", "vst samples");  // no comma at all
  write("Other.txt", "vst samples2,x,");
  write("Empty.txt", "");
  write(".txt", "vst samples,");
  write("Hidden.wav", "vst samples,");
  std::filesystem::create_directories(app.path() / "Dir.txt");
  f.Combo1->setText("Mine");
  f.Combo1_DropDown();
  std::vector<std::string> listed;
  for (int i = 0; i < f.Combo1->count(); ++i) listed.push_back(f.Combo1->itemText(i).toStdString());
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"Jazz", "Rock"}));
  EXPECT_EQ(f.Combo1->Text(), "Mine");
}

TEST_F(PlayingTest, TheSaveButtonSavesUnderTheTypedName) {
  writeKit("Rock", "Kick");
  Form1& f = start();
  f.state().kit().ReadKit((app.path() / "Rock.txt").string());
  f.Combo1->setText("Jazz");
  QTest::mouseClick(f.Command1, Qt::LeftButton);
  EXPECT_TRUE(std::filesystem::exists(app.path() / "Jazz.txt"));
  EXPECT_TRUE(std::filesystem::exists(app.path() / "Jazz" / "kick.wav"));
  f.Combo1->setText("");
  QTest::mouseClick(f.Command1, Qt::LeftButton);  // nothing to save under
  EXPECT_EQ(f.Command1->picture(), f.UC->picture());
}

TEST_F(PlayingTest, ClosingAsksToSaveOnlyWhenSomethingWouldBeLost) {
  writeKit("Rock", "Kick");
  struct Case {
    std::string name;
    bool changed;
    bool asks;
  };
  for (const Case& c : {Case{"Rock", false, false}, Case{"", false, false},
                        Case{"New", false, true}, Case{"Rock", true, true}}) {
    Form1& f = start();
    f.Combo1->setText(c.name);
    f.state().kitChanged = c.changed;
    answer = vbNo;
    shown.clear();
    EXPECT_TRUE(f.Form_QueryUnload()) << c.name;
    EXPECT_EQ(shown.size(), c.asks ? 1u : 0u) << c.name << c.changed;
    if (c.asks) {
      EXPECT_EQ(shown[0].prompt, "save changes?");
      EXPECT_EQ(shown[0].title, "Save");
      EXPECT_EQ(shown[0].buttons, vbYesNo);
    }
    EXPECT_EQ(midiFake->closes, 0);  // no module: nothing to close; see the MIDI case
    form.reset();
    CloseSound();
    SetUp();
  }
}

TEST_F(PlayingTest, ClosingWithYesSavesAndAFailedSaveKeepsTheWindowOpen) {
  const std::vector<std::string> devices{"In"};
  Form1& f = start(&devices);
  f.Combo1->setText("Fresh");
  answer = vbYes;
  EXPECT_TRUE(f.Form_QueryUnload());
  EXPECT_TRUE(std::filesystem::exists(app.path() / "Fresh.txt"));
  EXPECT_GE(midiFake->closes, 1);

  f.Combo1->setText("Bad,Name");
  f.state().kitChanged = true;
  shown.clear();
  EXPECT_FALSE(f.Form_QueryUnload());  // the refused name is reported; the kit stays
  EXPECT_EQ(shown.size(), 2u);
}

}  // namespace
}  // namespace varnkit::ui
