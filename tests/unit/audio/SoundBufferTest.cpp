#include <gtest/gtest.h>

#include <cmath>

#include "platform/audio/SoundBuffer.h"
#include "tests/support/AudioFixture.h"

namespace varnkit::audio {
namespace {

using testing::OfflineAudio;
using testing::pcm16;

constexpr uint32_t kFade = 88;  // 2 ms at 44100 Hz

std::vector<float> ramp(uint64_t frames) {
  std::vector<float> v(frames);
  for (uint64_t i = 0; i < frames; ++i) v[i] = 0.9f * float(i) / float(frames);
  return v;
}

TEST(SoundBuffer, PlaysOnceAtTheGainItsLevelAsks) {
  OfflineAudio a;
  const auto samples = testing::sine(441.0, 0.8, 44100, 1000);
  auto buf = a.buffer(samples);
  ASSERT_EQ(buf->SetCurrentPosition(0), DsResult::Ok);
  ASSERT_EQ(buf->SetVolume(-600), DsResult::Ok);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  const auto out = a.left(3000);
  const double gain = std::pow(10.0, -600 / 2000.0);
  for (int i = 0; i < 1000; ++i) ASSERT_NEAR(out[i], pcm16(samples[i]) * gain, 1e-6) << i;
  for (int i = 1000; i < 3000; ++i) ASSERT_EQ(out[i], 0.0f) << i;
  EXPECT_FALSE(buf->playing());
}

TEST(SoundBuffer, VelocityLevelsBecomeTheirGains) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.5f, 64));
  for (int level : {-4000, -3969, -3938, -3497, -2993, -2016, -1985, -851, -32, 0}) {
    ASSERT_EQ(buf->SetCurrentPosition(0), DsResult::Ok);
    ASSERT_EQ(buf->SetVolume(level), DsResult::Ok);
    ASSERT_EQ(buf->Play(0), DsResult::Ok);
    const auto out = a.left(64);
    EXPECT_NEAR(out[0], 0.5 * std::pow(10.0, level / 2000.0), 1e-6) << level;
    EXPECT_NEAR(out[63], out[0], 1e-7) << level;
    int32_t back = 1;
    ASSERT_EQ(buf->GetVolume(back), DsResult::Ok);
    EXPECT_EQ(back, level);
  }
}

TEST(SoundBuffer, RejectsLevelsOutsideTheRangeAndBuffersWithoutVolumeControl) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.5f, 64));
  ASSERT_EQ(buf->SetVolume(-1200), DsResult::Ok);
  EXPECT_EQ(buf->SetVolume(1), DsResult::InvalidParam);
  EXPECT_EQ(buf->SetVolume(-10001), DsResult::InvalidParam);
  EXPECT_EQ(buf->SetVolume(-10000), DsResult::Ok);
  ASSERT_EQ(buf->SetVolume(-1200), DsResult::Ok);
  int32_t level = 0;
  ASSERT_EQ(buf->GetVolume(level), DsResult::Ok);
  EXPECT_EQ(level, -1200);

  const std::string path = a.dir.file("plain.wav");
  testing::writeFile(path, testing::makeWav(testing::constant(0.5f, 64), {}));
  WaveFormat f;
  auto plain = a.device->CreateSoundBufferFromFile(path, BufferDesc{0, 0}, f);
  ASSERT_TRUE(plain.ok());
  EXPECT_EQ(plain.value()->SetVolume(0), DsResult::ControlUnavail);
}

TEST(SoundBuffer, RewindWhilePlayingRestartsAtOnceAndFadesTheOldSound) {
  OfflineAudio a;
  const auto samples = ramp(2000);
  auto buf = a.buffer(samples);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  a.left(500);
  ASSERT_EQ(buf->SetCurrentPosition(0), DsResult::Ok);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  const auto out = a.left(1000);
  // The first frame holds the new start plus the old sound one fade step down.
  EXPECT_NEAR(out[0], pcm16(samples[0]) + pcm16(samples[500]) * (1.0f - 1.0f / kFade), 1e-5);
  for (uint32_t i = kFade; i < 1000; ++i) ASSERT_NEAR(out[i], pcm16(samples[i]), 1e-6) << i;
  EXPECT_TRUE(buf->playing());
}

TEST(SoundBuffer, StopKeepsThePositionAndPlayGoesOnFromIt) {
  OfflineAudio a;
  const auto samples = ramp(2000);
  auto buf = a.buffer(samples);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  a.left(300);
  ASSERT_EQ(buf->Stop(), DsResult::Ok);
  EXPECT_FALSE(buf->playing());
  a.left(200);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  auto out = a.left(10);
  EXPECT_NEAR(out[0], pcm16(samples[300]), 1e-6);

  ASSERT_EQ(buf->Stop(), DsResult::Ok);
  ASSERT_EQ(buf->SetCurrentPosition(0), DsResult::Ok);
  a.left(200);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  out = a.left(10);
  EXPECT_NEAR(out[5], pcm16(samples[5]), 1e-6);
  EXPECT_EQ(buf->SetCurrentPosition(2 * 2001), DsResult::InvalidParam);
}

TEST(SoundBuffer, StopFadesToSilenceWithoutAClick) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.9f, 20000));
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  auto out = a.left(500);
  ASSERT_EQ(buf->Stop(), DsResult::Ok);
  const auto after = a.left(500);
  out.insert(out.end(), after.begin(), after.end());
  EXPECT_LT(testing::largestStep(out), 0.9f / kFade + 1e-4f);
  for (uint32_t i = kFade; i < 500; ++i) ASSERT_EQ(after[i], 0.0f) << i;
}

TEST(SoundBuffer, RestartingAPlayingSoundDoesNotClick) {
  OfflineAudio a;
  const auto samples = testing::sine(100.0, 0.9, 44100, 20000);
  auto buf = a.buffer(samples);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  auto out = a.left(110);  // near the sine's peak
  for (int hit = 0; hit < 3; ++hit) {
    ASSERT_EQ(buf->SetCurrentPosition(0), DsResult::Ok);
    ASSERT_EQ(buf->SetVolume(-300 * hit), DsResult::Ok);
    ASSERT_EQ(buf->Play(0), DsResult::Ok);
    const auto more = a.left(333);
    out.insert(out.end(), more.begin(), more.end());
  }
  // The sine itself moves at most 2*pi*100/44100*0.9 = 0.0128 a frame; a cut would jump ~0.9.
  EXPECT_LT(testing::largestStep(out), 0.9f / kFade + 0.013f);
}

TEST(SoundBuffer, ChangingTheLevelWhilePlayingGlidesInsteadOfJumping) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.9f, 20000));
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  auto out = a.left(100);
  ASSERT_EQ(buf->SetVolume(-4000), DsResult::Ok);
  const auto after = a.left(200);
  out.insert(out.end(), after.begin(), after.end());
  EXPECT_LT(testing::largestStep(out), 0.9f / kFade + 1e-4f);
  EXPECT_NEAR(after.back(), 0.9 * 0.01, 1e-6);
}

TEST(SoundBuffer, TwoBuffersAddAndTheSumIsClipped) {
  OfflineAudio a;
  auto one = a.buffer(testing::constant(0.25f, 100));
  auto two = a.buffer(testing::constant(0.5f, 100));
  ASSERT_EQ(one->Play(0), DsResult::Ok);
  ASSERT_EQ(two->Play(0), DsResult::Ok);
  EXPECT_NEAR(a.left(10)[5], 0.75, 1e-4);

  auto loud = a.buffer(testing::constant(0.8f, 100));
  auto louder = a.buffer(testing::constant(0.8f, 100));
  ASSERT_EQ(loud->Play(0), DsResult::Ok);
  ASSERT_EQ(louder->Play(0), DsResult::Ok);
  const auto out = a.left(100);
  EXPECT_EQ(out[95], 1.0f);
}

TEST(SoundBuffer, StatusFollowsPlayStopAndTheEndOfTheSound) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.5f, 1000));
  uint32_t status = 99;
  ASSERT_EQ(buf->GetStatus(status), DsResult::Ok);
  EXPECT_EQ(status, 0u);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  ASSERT_EQ(buf->GetStatus(status), DsResult::Ok);
  EXPECT_EQ(status, DSBSTATUS_PLAYING);  // before the mixer has seen it
  a.left(999);
  EXPECT_TRUE(buf->playing());
  a.left(2);
  EXPECT_FALSE(buf->playing());
  ASSERT_EQ(buf->Play(0), DsResult::Ok);  // a finished sound plays again from its start
  EXPECT_NEAR(a.left(1)[0], pcm16(0.5f), 1e-6);
  ASSERT_EQ(buf->Stop(), DsResult::Ok);
  EXPECT_FALSE(buf->playing());
  EXPECT_EQ(buf->Play(DSBPLAY_LOOPING), DsResult::Ok);
  a.left(5000);
  ASSERT_EQ(buf->GetStatus(status), DsResult::Ok);
  EXPECT_EQ(status, DSBSTATUS_PLAYING | DSBSTATUS_LOOPING);
}

TEST(SoundBuffer, AFullCommandQueueFailsTheCallAndRecoversAfterTheNextBlock) {
  OfflineAudio a;
  auto buf = a.buffer(testing::constant(0.5f, 100));
  DsResult last = DsResult::Ok;
  int accepted = 0;
  while (last == DsResult::Ok && accepted < 100000) {
    last = buf->SetCurrentPosition(0);
    accepted += last == DsResult::Ok;
  }
  EXPECT_EQ(accepted, int(engine::Engine::kCommandCapacity));
  EXPECT_NE(last, DsResult::Ok);
  a.left(1);
  EXPECT_EQ(buf->Play(0), DsResult::Ok);
}

TEST(SoundBuffer, BuffersDestroyedWhilePlayingOrAfterTheirDeviceAreSafe) {
  auto a = std::make_unique<OfflineAudio>();
  auto playing = a->buffer(testing::constant(0.5f, 10000));
  auto queued = a->buffer(testing::constant(0.5f, 10000));
  ASSERT_EQ(playing->Play(0), DsResult::Ok);
  a->left(100);
  ASSERT_EQ(queued->Play(0), DsResult::Ok);
  playing.reset();  // its tail still sounds: freed after the fade
  const auto out = a->left(200);
  EXPECT_NEAR(out[0], 0.5f + 0.5f * (1.0f - 1.0f / kFade), 1e-4);
  EXPECT_NEAR(out[150], 0.5f, 1e-4);  // only the other one is left
  a->device.reset();
  EXPECT_EQ(queued->Stop(), DsResult::Ok);
  queued.reset();  // LeakSanitizer checks both were freed
}

TEST(SoundBuffer, ADeviceAt48000PlaysA44100FileAtItsOwnRate) {
  OfflineAudio a(48000);
  auto buf = a.buffer(testing::constant(0.5f, 44100));
  ASSERT_EQ(buf->frames(), 48000u);
  EXPECT_EQ(buf->fileFormat().samplesPerSec, 44100u);
  ASSERT_EQ(buf->Play(0), DsResult::Ok);
  const auto out = a.left(48100);
  EXPECT_NEAR(out[24000], 0.5, 1e-3);
  EXPECT_EQ(out[48050], 0.0f);
}

}  // namespace
}  // namespace varnkit::audio
