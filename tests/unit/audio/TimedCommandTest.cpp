// Commands with a due frame: a hit asked for during one device cycle sounds at a fixed frame
// later, however late in that time the request reaches the mixer.

#include <gtest/gtest.h>

#include "engine/Engine.h"
#include "platform/audio/PipeWireOutput.h"
#include "tests/support/AudioFixture.h"

namespace varnkit::audio {
namespace {

using engine::Command;
using testing::OfflineAudio;
using testing::pcm16;

// The first frame of out that is not silent, or out.size().
std::size_t onset(const std::vector<float>& out) {
  std::size_t i = 0;
  while (i < out.size() && out[i] == 0.0f) ++i;
  return i;
}

TEST(TimedCommands, APlayDueInsideABlockStartsAtItsFrame) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.5f, 1000));
  a.device->engine().setDue(300);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  a.device->engine().clearDue();
  const auto out = a.left(512);
  EXPECT_EQ(onset(out), 300u);
  EXPECT_EQ(out[300], pcm16(0.5f));
  EXPECT_EQ(out[511], pcm16(0.5f));
}

TEST(TimedCommands, APlayDueInALaterBlockWaitsAndTheCommandsBehindItWaitWithIt) {
  OfflineAudio a;
  auto early = a.buffer(testing::constant(0.25f, 4000));
  auto late = a.buffer(testing::constant(0.5f, 4000));
  ASSERT_EQ(early->Play(0), DsResult::Ok);
  a.left(100);
  a.device->engine().setDue(100 + 512 + 200);
  ASSERT_EQ(late->Play(0), DsResult::Ok);
  a.device->engine().clearDue();
  ASSERT_EQ(early->Stop(),
            DsResult::Ok);  // asked for after the timed play: it must not overtake it

  const auto first = a.left(512);
  for (float s : first) ASSERT_EQ(s, pcm16(0.25f));
  const auto second = a.left(512);
  EXPECT_EQ(second[199], pcm16(0.25f));
  EXPECT_NEAR(second[200], pcm16(0.5f) + pcm16(0.25f), 0.01f);  // the stop begins its fade there
  EXPECT_NEAR(second[500], pcm16(0.5f), 1e-6f);
}

TEST(TimedCommands, ALateCommandTakesEffectAtTheStartOfTheNextBlock) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.5f, 1000));
  a.left(1024);
  a.device->engine().setDue(1000);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  a.device->engine().clearDue();
  EXPECT_EQ(onset(a.left(256)), 0u);
}

TEST(TimedCommands, DueFramesAreCountedAcrossTheWrapOfTheTimeline) {
  engine::Engine mixer(44100);
  auto core =
      std::make_unique<engine::Voice>(engine::Sample{std::vector<float>(500, 0.5f), 1, 500});
  mixer.setDue(0x10);
  Command play;
  play.op = Command::Op::Play;
  play.voice = core.get();
  ASSERT_TRUE(mixer.post(play));
  std::vector<float> out(2 * 512);
  mixer.render(out.data(), 512, 0xFFFFFF00u);
  std::vector<float> left(512);
  for (std::size_t i = 0; i < 512; ++i) left[i] = out[2 * i];
  EXPECT_EQ(onset(left), 0x110u);
  mixer.release(core.release());
}

TEST(TimedCommands, ADueFrameMoreThanASecondAheadIsTakenAsNow) {
  // A clock that jumped must not hold back every command behind it.
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.5f, 1000));
  a.device->engine().setDue(44100 * 3);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  a.device->engine().clearDue();
  EXPECT_EQ(onset(a.left(256)), 0u);
}

TEST(TimedCommands, TheOfflineClockCountsRenderedFramesAndTimesCommandsTwoCyclesOn) {
  auto device = Device::openOffline(44100, 128);
  ASSERT_NE(device->frameClock(), nullptr);
  EXPECT_EQ(device->frameClock()->period(), 128u);
  device->render(300);
  const uint32_t cycle = device->frameClock()->cycleStart();
  EXPECT_EQ(cycle, 300u);
  testing::TempDir dir;
  testing::writeFile(dir.file("hit.wav"), testing::makeWav(testing::constant(0.5f, 1000), {}));
  WaveFormat format;
  auto buf =
      device->CreateSoundBufferFromFile(dir.file("hit.wav"), {DSBCAPS_CTRLVOLUME, 0}, format);
  ASSERT_TRUE(buf.ok());
  {
    TimedCommands timing(device.get(), cycle);
    device->render(50);  // the request takes a while to come
    ASSERT_EQ(buf.value()->Play(0), DsResult::Ok);
  }
  const auto out = device->render(1024);
  std::vector<float> left(1024);
  for (std::size_t i = 0; i < 1024; ++i) left[i] = out[2 * i];
  EXPECT_EQ(onset(left) + 350, 300u + 2 * 128);
  EXPECT_FALSE(Device::openOffline(44100)->frameClock());
}

// A note from a port that tells no frame is placed on its arrival: as far into the next cycle
// as it came into the last one, so that every note sounds one quantum after it arrived.
TEST(TimedCommands, ANoteIsPlacedOneQuantumAfterItsArrivalWhereverInTheCycleItCame) {
  PipeWireClock clock;
  EXPECT_FALSE(clock.frameForArrival(0)) << "no cycle has run yet";
  const int64_t cycleAt = 5'000'000'000;
  clock.stamp(48000, 128, cycleAt);
  EXPECT_EQ(clock.cycleStart(), 48000u);
  EXPECT_EQ(clock.period(), 128u);
  for (int64_t us : {0, 1, 1000, 2000, 2666})
    EXPECT_EQ(*clock.frameForArrival(cycleAt + us * 1000), 48000 + 128 + uint32_t(us * 48 / 1000))
        << us << " us into the cycle";
  // Read before the cycle's stamp was written, or long after it on a stalled stream.
  EXPECT_EQ(*clock.frameForArrival(cycleAt - 5000), 48128u);
  EXPECT_EQ(*clock.frameForArrival(cycleAt + 1'000'000'000), 48000u + 128 + 256);
}

}  // namespace
}  // namespace varnkit::audio
