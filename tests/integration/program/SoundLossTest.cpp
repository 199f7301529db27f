// The program's real sound path on a JACK server that dies and comes back, at the same rate
// and at another: VarnKit notices, says so once, plays on silently, and sounds again at the
// right level and pitch without a restart.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "app/ComMidiInput.h"
#include "kit/Drumkit.h"
#include "platform/com/Module.h"
#include "sound/SoundOutput.h"
#include "tests/support/Child.h"
#include "tests/support/JackRig.h"
#include "tests/support/Pump.h"
#include "tests/support/WavWriter.h"
#include "ui/main/Form1.h"

namespace varnkit::ui {
namespace {

using namespace std::chrono_literals;
using testing::pumpUntil;

constexpr double kTone = 441.0;

class SoundLossOnJack : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("JACK_DEFAULT_SERVER", server.c_str(), 1);
    MessageBoxService::setAnswerer([this](const MessageBoxRequest& r) {
      shown.push_back(r.prompt);
      return vbOK;
    });
    testing::writeFile(app.path() / "tone.wav",
                       testing::makeWav(testing::sine(kTone, 0.5, 44100, 44100), {}));
  }
  void TearDown() override {
    form.reset();
    CloseSound();
    MessageBoxService::setAnswerer(nullptr);
  }
  void startProgram(MidiInputFactory midi = nullptr) {
    form = std::make_unique<Form1>(app.path().string(), std::move(midi));
    form->Form_Load();
    shown.clear();  // the start's word on the MIDI module this test does not register
    ASSERT_NE(form->state().kit().Instrument(0).add(0, 0, 0, "tone.wav", app.path().string()),
              nullptr);
    form->publishKit();
  }
  // Hits pad 0 with the mouse and records it on a new listener; the frequency and the peak
  // level heard. A fresh server may skip a cycle now and then, which the recording keeps as
  // silence: the frequency comes from the typical distance between rising zero crossings.
  std::pair<double, float> hitAndListen() {
    testing::JackRig rig("listener");
    EXPECT_TRUE(rig.ok());
    EXPECT_TRUE(rig.listenTo("VarnKit:"));
    rig.recordFor(rig.rate() / 4);
    const std::size_t from = rig.recorded();
    form->PAD_MouseDown(0, vbLeftButton, 0, 0, 0);
    form->PAD_MouseUp(0, vbLeftButton, 0, 0, 0);
    pumpUntil([&] { return rig.recorded() > from + rig.rate() / 2; }, 10s);
    const auto sound = rig.recording();
    std::vector<std::size_t> rises, gaps;
    float peak = 0;
    for (std::size_t i = from + 1; i < sound.size(); ++i) {
      peak = std::max(peak, std::fabs(sound[i]));
      if (sound[i - 1] < 0 && sound[i] >= 0) rises.push_back(i);
    }
    for (std::size_t k = 1; k < rises.size(); ++k) gaps.push_back(rises[k] - rises[k - 1]);
    if (gaps.size() < 10) return {0.0, peak};
    std::nth_element(gaps.begin(), gaps.begin() + long(gaps.size() / 2), gaps.end());
    // At 48000 Hz a period is 108.8 frames: the median gap, 109, is within a hertz.
    return {double(rig.rate()) / double(gaps[gaps.size() / 2]), peak};
  }
  bool captionIs(const char* caption) { return form->windowTitle() == caption; }

  std::string server = "varnkit-loss-" + std::to_string(getpid());
  testing::TempDir app;
  std::unique_ptr<Form1> form;
  std::vector<std::string> shown;
};

TEST_F(SoundLossOnJack, ADeadServerIsToldOnceAndTheSoundComesBackOnTheNextAtAnyRate) {
  auto jack = std::make_unique<testing::JackServer>(server, 44100);
  ASSERT_TRUE(jack->ok());
  startProgram();
  auto [pitch, level] = hitAndListen();
  EXPECT_NEAR(pitch, kTone, 1.0);
  EXPECT_NEAR(level, 0.5f, 0.01f);

  for (uint32_t rate : {44100u, 48000u}) {
    jack->crash();
    const auto lost = std::chrono::steady_clock::now();
    ASSERT_TRUE(pumpUntil([&] { return captionIs("VarnKit - no sound device"); }, 5s));
    EXPECT_LT(std::chrono::steady_clock::now() - lost, 1500ms);
    ASSERT_EQ(shown.size(), 1u);
    for (int i = 0; i < 3000; ++i) {
      form->PAD_MouseDown(i % 9, vbLeftButton, 0, 0, 0);
      form->PAD_MouseUp(i % 9, vbLeftButton, 0, 0, 0);
    }
    pumpUntil([] { return false; }, 2s);  // tries to reopen meanwhile find nothing
    EXPECT_EQ(shown.size(), 1u) << "no word more while it stays lost";

    jack = std::make_unique<testing::JackServer>(server, rate);
    ASSERT_TRUE(jack->ok());
    ASSERT_TRUE(pumpUntil([&] { return captionIs("VarnKit"); }, 10s)) << rate;
    std::tie(pitch, level) = hitAndListen();
    EXPECT_NEAR(pitch, kTone, 1.0) << rate;
    EXPECT_NEAR(level, 0.5f, 0.01f) << rate;
    EXPECT_EQ(SoundDevice()->sampleRate(), rate);
    shown.clear();
  }
}

// The rig's MIDI output as the window's device menu lists it; 0 when it is not listed.
int rigItem(Form1& form) {
  for (int k = 1; k < form.midi->Count(); ++k)
    if (form.midi->Caption(k).find("varnkit-rig:") == 0) return k;
  return 0;
}

TEST_F(SoundLossOnJack, AMidiDeviceThatGoesIsOpenedAgainWhenItIsBackAlsoAfterTheServerDied) {
  auto jack = std::make_unique<testing::JackServer>(server, 44100);
  ASSERT_TRUE(jack->ok());
  auto rig = std::make_unique<testing::JackRig>();
  testing::TempDir registry;
  setenv("XDG_DATA_HOME", registry.path().c_str(), 1);
  std::shared_ptr<com::Module> module;
  std::string why;
  ASSERT_EQ(com::Module::load(MIDI_MODULE_PATH, module, why), com::S_OK) << why;
  ASSERT_EQ(module->registerServer(), com::S_OK);
  startProgram(app::comMidiInputFactory());
  const int item = rigItem(*form);
  ASSERT_GT(item, 0);
  form->m_Click(int16_t(item));
  ASSERT_TRUE(form->midi->Checked(item));
  // Whether a note from the rig sounds: the rig hears VarnKit too.
  auto notePlays = [&] {
    if (!rig->listenTo("VarnKit:")) return false;
    rig->recordFor(rig->rate() / 4);  // past a fresh server's first unsteady cycles
    const std::size_t from = rig->recorded();
    rig->send(0x99, 36, 127);
    pumpUntil([&] { return rig->recorded() > from + rig->rate() / 4; }, 10s);
    const auto sound = rig->recording();
    float peak = 0;
    for (std::size_t i = from; i < sound.size(); ++i) peak = std::max(peak, std::fabs(sound[i]));
    form->state().kit().Instrument(0);  // the window thread is still alive
    return peak > 0.4f;
  };
  ASSERT_TRUE(notePlays());

  rig.reset();  // the device is unplugged
  ASSERT_TRUE(pumpUntil([&] { return form->midi->Checked(0); }, 5s));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("varnkit-rig:"), std::string::npos);
  rig = std::make_unique<testing::JackRig>();  // and plugged in again
  ASSERT_TRUE(pumpUntil([&] { return form->midi->Checked(item); }, 5s));
  EXPECT_TRUE(notePlays());

  // The server dies with the sound device and the MIDI device on it; both come back.
  rig.reset();
  jack->crash();
  ASSERT_TRUE(pumpUntil(
      [&] { return captionIs("VarnKit - no sound device") && form->midi->Checked(0); }, 5s));
  EXPECT_EQ(shown.size(), 3u);
  jack = std::make_unique<testing::JackServer>(server, 44100);
  ASSERT_TRUE(jack->ok());
  rig = std::make_unique<testing::JackRig>();
  ASSERT_TRUE(pumpUntil([&] { return captionIs("VarnKit") && form->midi->Checked(item); }, 10s));
  EXPECT_TRUE(notePlays());
  EXPECT_EQ(shown.size(), 3u);
}

}  // namespace
}  // namespace varnkit::ui
