// The watch over the program's sound device, with a stream the test loses and brings back,
// and the kit played, loaded and saved on either side of a loss.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "kit/Drumkit.h"
#include "platform/audio/PlainPlayer.h"
#include "sound/DeviceWatch.h"
#include "sound/PadTrigger.h"
#include "tests/support/FakeAlsa.h"
#include "tests/support/FakeStream.h"
#include "tests/support/KitFixture.h"

namespace varnkit {
namespace {

using namespace std::chrono_literals;
using testing::pcm16;

struct RecordingWatchView : SoundWatchView {
  void soundLost(const std::string& service) override { lost.push_back(service); }
  void soundBack(const std::string& service) override { back.push_back(service); }
  std::vector<std::string> lost, back;
};

class DeviceWatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    f.audio.device = testing::openFake(service);
    f.state.setSoundDevice(f.audio.device.get());
    audio::PlainPlayer::useDevice(f.audio.device.get());
    f.kit().Kitname = f.dialogs.nameBox = "Rock";
    for (int16_t pad = 0; pad < 3; ++pad)
      f.kit().Instrument(pad).add(0, 0, 0, f.sample(name(pad), level(pad), 1000), f.folder());
    watch = std::make_unique<DeviceWatch>(*f.state.soundDevice(), view);
  }
  static std::string name(int pad) { return "pad" + std::to_string(pad) + ".wav"; }
  static float level(int pad) { return 0.1f * float(pad + 1); }
  // Ticks the watch as its timer would, from t on, for a while.
  void run(std::chrono::milliseconds span) {
    for (const auto end = t + span; t < end;) t += std::max(watch->tick(t), 1ms);
  }
  // How long the pad sounds after a hit, in frames, and at which level.
  std::pair<uint32_t, float> hit(int16_t pad) {
    PlayPad(f.state, pad, 127);
    const auto out = f.audio.left(4000);
    uint32_t frames = 0;
    for (float s : out) frames += s != 0.0f;
    return {frames, out[500]};  // away from the edges, where a resampled step ripples
  }

  testing::KitFixture f;
  std::shared_ptr<testing::FakeService> service = std::make_shared<testing::FakeService>();
  RecordingWatchView view;
  std::unique_ptr<DeviceWatch> watch;
  DeviceWatch::Clock::time_point t{};
};

TEST_F(DeviceWatchTest, ALossIsToldOnceAndTheKitPlaysOnAtTheNewRateWhenADeviceIsBack) {
  run(1s);
  EXPECT_TRUE(view.lost.empty());
  service->lost = true;
  service->available = false;
  run(DeviceWatch::kLook);
  ASSERT_EQ(view.lost, std::vector<std::string>{"Fake"});
  EXPECT_EQ(watch->phase(), DeviceWatch::Phase::Lost);

  // While lost, hits, a save and a load all work on the kit in memory, and raise nothing.
  for (int i = 0; i < 5000; ++i) PlayPad(f.state, int16_t(i % 3), 127);
  f.kit().SaveKit();
  EXPECT_TRUE(std::filesystem::exists(f.app.path() / "Rock" / "pad2.wav"));
  ASSERT_TRUE(f.kit().LoadKit((f.app.path() / "Rock.txt").string()));
  EXPECT_EQ(f.kit().Instrument(2).Count(), 1);
  run(10s);
  EXPECT_EQ(view.lost.size(), 1u) << "one word while it stays lost";
  EXPECT_LE(service->opened, 1 + 10 / 1 + 1) << "it tries again every second or two, no faster";
  EXPECT_TRUE(view.back.empty());

  service->available = true;
  service->rate = 48000;
  run(DeviceWatch::kRetry + DeviceWatch::kLook);
  ASSERT_EQ(view.back, std::vector<std::string>{"Fake"});
  EXPECT_EQ(watch->phase(), DeviceWatch::Phase::Playing);
  const auto [frames, heard] = hit(2);
  EXPECT_NEAR(frames, 1000 * 48000 / 44100, 2);  // the same length of time: the same pitch
  EXPECT_NEAR(heard, pcm16(level(2)), 1e-3);
}

TEST_F(DeviceWatchTest, ALossDuringALoadOrASaveLeavesAKitThatPlaysWhenTheDeviceIsBack) {
  f.kit().SaveKit();
  for (bool duringLoad : {true, false}) {
    // Gone before the watch looks: the load's buffers are made and released meanwhile.
    service->lost = true;
    if (duringLoad) {
      ASSERT_TRUE(f.kit().LoadKit((f.app.path() / "Rock.txt").string()));
    } else {
      f.kit().Instrument(1).PAD("Changed");
      f.kit().SaveKit();
    }
    run(DeviceWatch::kRetry * 2);
    EXPECT_EQ(watch->phase(), DeviceWatch::Phase::Playing) << duringLoad;
    EXPECT_NEAR(hit(1).second, pcm16(level(1)), 1e-3) << duringLoad;
  }
  EXPECT_EQ(view.lost.size(), 2u);
  EXPECT_EQ(view.back.size(), 2u);
}

// RtAudio keeps asking an ALSA stream for blocks after its card is unplugged, and every write
// fails at once: the loss is still told within a second, once, nothing spins meanwhile, and
// the stream plays again when the card is back.
TEST(DeviceWatchOnAlsa, AnUnpluggedCardIsToldOnceWithinASecondWithoutSpinningAndPlaysWhenBack) {
  auto card = std::make_shared<testing::FakeCard>();
  card->takenAtOnce = 2s;
  auto device = testing::openFakeAlsa(card);
  ASSERT_NE(device, nullptr);
  RecordingWatchView view;
  DeviceWatch watch(*device, view);
  using Clock = std::chrono::steady_clock;
  // Ticks the watch as its timer would, for span or until done.
  auto run = [&](std::chrono::milliseconds span, const std::function<bool()>& done = {}) {
    for (const auto end = Clock::now() + span; Clock::now() < end && !(done && done());) {
      watch.tick();
      std::this_thread::sleep_for(10ms);
    }
  };
  // Blocks asked for over span: as many as the time holds while the card takes them.
  auto callsOver = [&](std::chrono::milliseconds span) {
    const uint64_t before = card->calls;
    run(span);
    return card->calls - before;
  };
  run(audio::StreamWatch::kPace * 2);
  EXPECT_TRUE(view.lost.empty()) << "a server filling its buffer is no device that is gone";
  EXPECT_LT(callsOver(300ms), 100u);

  card->present = false;
  const auto unplugged = Clock::now();
  const uint64_t before = card->calls;
  std::this_thread::sleep_for(200ms);  // the stream's thread alone, before anyone looks
  EXPECT_LT(card->calls - before, 50u) << "the stream's thread spins on failed writes";
  run(1s, [&] { return !view.lost.empty(); });
  ASSERT_EQ(view.lost, std::vector<std::string>{"ALSA"});
  EXPECT_LT(Clock::now() - unplugged, 1s);
  run(DeviceWatch::kRetry + DeviceWatch::kLook);
  EXPECT_EQ(view.lost.size(), 1u) << "one word while it stays gone";
  EXPECT_EQ(card->opened, 1);

  card->present = true;
  run(DeviceWatch::kRetry * 2, [&] { return !view.back.empty(); });
  ASSERT_EQ(view.back, std::vector<std::string>{"ALSA"});
  const uint64_t calls = callsOver(300ms);
  EXPECT_GT(calls, 20u);
  EXPECT_LT(calls, 500u) << "a stream that spins calls thousands of times in 300 ms";
  EXPECT_EQ(view.lost.size(), 1u);

  // Failed writes that go untold: the pace of the calls tells.
  card->toldOfFailures = false;
  card->present = false;
  const auto again = Clock::now();
  run(1s, [&] { return view.lost.size() == 2; });
  EXPECT_EQ(view.lost.size(), 2u);
  EXPECT_LT(Clock::now() - again, 1s);
}

}  // namespace
}  // namespace varnkit
