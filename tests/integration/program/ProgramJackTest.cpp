// The whole program on a real JACK server: a MIDI keyboard of the test's own plays into
// VarnKit's MIDI input (the Midi module's control, registered and made by class id as the
// program does it), VarnKit plays through its own JACK output, and the test records that.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "app/ComMidiInput.h"
#include "kit/Drumkit.h"
#include "platform/com/Module.h"
#include "sound/PadTrigger.h"
#include "sound/SoundOutput.h"
#include "tests/support/Child.h"
#include "tests/support/JackRig.h"
#include "tests/support/Pump.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/platform/TestFiles.h"
#include "ui/main/Form1.h"
#include "ui/padeditor/Diag.h"
#include "ui/padeditor/TextBox.h"

namespace varnkit::ui {
namespace {

using namespace std::chrono_literals;
using testing::pumpUntil;

class ProgramOnJack : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rig.ok()) << "no JACK server";
    setenv("XDG_DATA_HOME", registry.path().c_str(), 1);
    std::shared_ptr<com::Module> module;
    std::string why;
    ASSERT_EQ(com::Module::load(MIDI_MODULE_PATH, module, why), com::S_OK) << why;
    ASSERT_EQ(module->registerServer(), com::S_OK);
    for (int16_t pad = 0; pad < 9; ++pad)
      testing::writeFile(app.path() / ("pad" + std::to_string(pad) + ".wav"),
                         testing::makeWav(testing::constant(level(pad), 44100), {}));
    form = std::make_unique<Form1>(app.path().string(), app::comMidiInputFactory());
    form->Form_Load();
    for (int16_t pad = 0; pad < 9; ++pad)
      form->state().kit().Instrument(pad).add(0, 0, 0, "pad" + std::to_string(pad) + ".wav",
                                              app.path().string());
    form->publishKit();  // the kit changed outside the window's handlers
    ASSERT_TRUE(rig.listenTo("VarnKit:"));
    ASSERT_TRUE(chooseRigAsInput());
    rig.recordFor(rig.period() * 4);
  }
  void TearDown() override {
    form.reset();
    CloseSound();
  }

  bool chooseRigAsInput() {
    for (int k = 1; k < form->midi->Count(); ++k) {
      if (form->midi->Caption(k).find("varnkit-rig") == std::string::npos) continue;
      form->m_Click(int16_t(k));
      return form->midi->Checked(k);
    }
    return false;
  }
  static float level(int pad) { return 0.05f * float(pad + 1); }
  void expectEveryHitAtItsOwnFrame();
  static float pcm(float s) { return float(std::lround(s * 32768.0)) / 32768.0f; }

  // Sends a note on and returns how many recorded frames then carry value (within 1e-4).
  std::size_t hitAndCount(uint8_t note, uint8_t velocity, float value) {
    const std::size_t from = rig.recorded();
    rig.send(0x99, note, velocity);  // channel 10, as drum pads send
    pumpUntil([&] { return rig.recorded() > from + rig.rate() / 4; });
    const auto sound = rig.recording();
    std::size_t matching = 0;
    for (std::size_t i = from; i < sound.size(); ++i)
      matching += std::fabs(sound[i] - value) < 1e-4f;
    return matching;
  }

  testing::TempDir app;
  testing::TempDir registry;
  testing::JackRig rig;
  std::unique_ptr<Form1> form;
};

TEST_F(ProgramOnJack, ANoteFromTheKeyboardSoundsItsPad) {
  EXPECT_EQ(SoundDevice()->serviceName(), "JACK");
  EXPECT_GT(hitAndCount(38, 127, pcm(level(1))), rig.rate() / 8);  // pad 1 holds 38
  EXPECT_EQ(form->PAD[1]->picture(), form->P->picture());
  rig.send(0x89, 38, 0);
  EXPECT_TRUE(pumpUntil([&] { return form->PAD[1]->picture() == form->U->picture(); }));
}

TEST_F(ProgramOnJack, TwoPadsWithTheSameRootKeyBothSound) {
  form->state().kit().Instrument(7).RootKey = 42;  // pad 2 holds 42 too
  form->publishKit();
  EXPECT_GT(hitAndCount(42, 127, pcm(level(2)) + pcm(level(7))), rig.rate() / 8);
}

TEST_F(ProgramOnJack, ANoteOnWithVelocityZeroPlaysNothing) {
  const std::size_t from = rig.recorded();
  form->PAD[0]->setPicture(form->P->picture());
  const std::size_t silent = hitAndCount(36, 0, 0.0f);
  EXPECT_EQ(silent, rig.recorded() - from);                // every frame silent
  EXPECT_EQ(form->PAD[0]->picture(), form->U->picture());  // it came as a note off
}

TEST_F(ProgramOnJack, LearnTakesAFreeNoteWithoutPlayingIt) {
  std::string learned;
  std::size_t silentFrames = 0, framesAfter = 0;
  QTimer::singleShot(0, [&] {
    Diag& editor = *form->editor();
    editor.Command2->click();
    const std::size_t from = rig.recorded();
    rig.send(0x99, 70, 127);
    pumpUntil([&] { return !form->getRoot; });
    pumpUntil([&] { return rig.recorded() > from + rig.rate() / 4; });
    learned = editor.Root->Text();
    const auto sound = rig.recording();
    for (std::size_t i = from; i < sound.size(); ++i, ++framesAfter)
      silentFrames += sound[i] == 0.0f;
    editor.Command3->click();
  });
  QTest::mouseClick(form->PAD[4], Qt::RightButton);
  EXPECT_EQ(learned, "70");
  EXPECT_EQ(form->state().kit().Instrument(4).RootKey, 70);
  EXPECT_GT(framesAfter, 0u);
  EXPECT_EQ(silentFrames, framesAfter);
  EXPECT_GT(hitAndCount(70, 127, pcm(level(4))), rig.rate() / 8);  // and now the note plays it
}

// Every note sounds at its own frame, wherever in its cycle it came: the client that reads it
// renders it in that cycle, whatever the window thread is doing.
void ProgramOnJack::expectEveryHitAtItsOwnFrame() {
  const uint32_t period = rig.period();
  for (uint32_t k = 0; k < 12; ++k) {
    const uint32_t offset = k * period / 12;
    const std::size_t from = rig.recorded();
    rig.send(0x99, 36, 127, offset);
    pumpUntil([&] { return rig.recorded() > from + 6 * period; });
    const auto sound = rig.recording();
    const int64_t sent = int64_t(rig.sentFrames().back()) - int64_t(rig.firstFrame());
    int64_t onset = sent;
    while (onset < int64_t(sound.size()) && std::fabs(sound[std::size_t(onset)]) < level(0) / 2)
      ++onset;
    EXPECT_EQ(onset - sent, 0) << "offset " << offset << " of " << period;
    StopPad(form->state(), 0);
    const std::size_t stopped = rig.recorded();
    pumpUntil([&] { return rig.recorded() > stopped + 4 * period; });
  }
}

TEST_F(ProgramOnJack, EveryHitSoundsAtItsOwnFrame) {
  expectEveryHitAtItsOwnFrame();
}

// A JACK server of the test's own, with a period other than the shared server's, that the
// program and the rig reach while the test runs. JACK's library serves one live server per
// process, and the Midi module keeps its client on the shared one once it has run: ctest runs
// this test in a process of its own, as it does every test.
class OwnServer {
 protected:
  static constexpr uint32_t kPeriod = 128;
  OwnServer()
      : name_("varnkit-p128-" + std::to_string(getpid())),
        server_(name_, 44100, kPeriod),
        reach_("JACK_DEFAULT_SERVER", name_) {}

 private:
  std::string name_;
  testing::JackServer server_;
  testing::ScopedEnv reach_;
};

class ProgramOnASmallerPeriod : public OwnServer, public ProgramOnJack {};

TEST_F(ProgramOnASmallerPeriod, EveryHitSoundsAtItsOwnFrame) {
  ASSERT_EQ(rig.period(), kPeriod);
  expectEveryHitAtItsOwnFrame();
}

// A Hydrogen kit brought in with varnkit-import: every pad answers its General MIDI note, soft
// and hard hits each with their own layer. Each sample has a length of its own, which tells
// which one sounded whatever the velocity makes of its level.
TEST_F(ProgramOnJack, AnImportedKitPlaysEachPadByItsNoteAtTheRightLayer) {
  const int notes[9] = {36, 38, 42, 46, 50, 47, 43, 49, 51};
  auto length = [](int pad, bool hard) {
    return std::size_t(1000 + 100 * pad + (hard ? 2000 : 0));
  };
  testing::TempDir source;
  std::ofstream xml(source.path() / "drumkit.xml");
  xml << "<?xml version='1.0'?>\n<drumkit_info><name>Jack Kit</name><instrumentList>";
  for (int i = 0; i < 9; ++i) {
    const int n = 8 - i;  // listed backwards: the pads are found by their notes
    const std::string s = "s" + std::to_string(n) + ".wav", h = "h" + std::to_string(n) + ".wav";
    testing::writeFile(source.path() / s,
                       testing::makeWav(testing::constant(0.5f, length(n, false)), {}));
    testing::writeFile(source.path() / h,
                       testing::makeWav(testing::constant(0.5f, length(n, true)), {}));
    xml << "<instrument><id>" << i << "</id><name>Drum " << n << "</name><midiOutNote>" << notes[n]
        << "</midiOutNote><muteGroup>-1</muteGroup><instrumentComponent>"
        << "<component_id>0</component_id><layer><filename>" << s
        << "</filename><min>0</min><max>0.5</max></layer><layer><filename>" << h
        << "</filename><min>0.5</min><max>1</max></layer></instrumentComponent></instrument>";
  }
  xml << "</instrumentList></drumkit_info>\n";
  xml.close();
  const std::string command = std::string(VARNKIT_IMPORT) + " '" + source.path().string() +
                              "' --into '" + app.path().string() + "' --name Imported >/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  // An existing kit is replaced only when asked to.
  EXPECT_EQ(WEXITSTATUS(std::system((command + " 2>/dev/null").c_str())), 3);
  EXPECT_EQ(std::system((command + " --force").c_str()), 0);
  form->state().kit().ReadKit((app.path() / "Imported.txt").string());
  form->publishKit();
  auto soundingFrames = [&](int note, int velocity) {
    const std::size_t from = rig.recorded();
    rig.send(0x99, uint8_t(note), uint8_t(velocity));
    pumpUntil([&] { return rig.recorded() > from + rig.rate() / 8; });
    const auto sound = rig.recording();
    return std::size_t(std::count_if(sound.begin() + std::ptrdiff_t(from), sound.end(),
                                     [](float v) { return v != 0.0f; }));
  };
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(soundingFrames(notes[i], 63), length(i, false)) << "soft " << i;
    EXPECT_EQ(soundingFrames(notes[i], 64), length(i, true)) << "hard " << i;
  }
}

}  // namespace
}  // namespace varnkit::ui
