// A device whose stream goes away: everything keeps working without sound, nothing piles
// up, and the sound comes back, at the right pitch, on a stream of any rate.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "platform/audio/SoundBuffer.h"
#include "tests/support/FakeStream.h"
#include "tests/support/WavWriter.h"

namespace varnkit::audio {
namespace {

using testing::FakeService;

class DeviceLoss : public ::testing::Test {
 protected:
  std::unique_ptr<SoundBuffer> buffer(const std::string& name, const std::vector<float>& samples) {
    const auto file = dir.path() / name;
    testing::writeFile(file, testing::makeWav(samples, {}));
    WaveFormat format;
    auto made =
        device->CreateSoundBufferFromFile(file.string(), BufferDesc{DSBCAPS_CTRLVOLUME, 0}, format);
    EXPECT_TRUE(made.ok());
    return made.ok() ? std::move(made).value() : nullptr;
  }
  static DsResult hit(SoundBuffer& b) {
    for (DsResult r : {b.Stop(), b.SetCurrentPosition(0), b.SetVolume(0), b.Play(0)})
      if (r != DsResult::Ok) return r;
    return DsResult::Ok;
  }
  // Frames of the left channel that sound, out of frames rendered.
  std::vector<float> left(uint32_t frames) {
    const auto out = device->render(frames);
    std::vector<float> l(frames);
    for (uint32_t i = 0; i < frames; ++i) l[i] = out[2 * i];
    return l;
  }
  void lose() {
    service->lost = true;
    ASSERT_TRUE(device->lost());
    device->goSilent();
    EXPECT_FALSE(device->lost()) << "a loss is told once";
  }

  testing::TempDir dir;
  std::shared_ptr<FakeService> service = std::make_shared<FakeService>();
  std::unique_ptr<Device> device = testing::openFake(service);
};

TEST_F(DeviceLoss, WithoutAStreamEveryCallWorksSilentlyAndNothingPilesUp) {
  auto kick = buffer("kick.wav", testing::constant(0.5f, 100));
  ASSERT_EQ(hit(*kick), DsResult::Ok);
  EXPECT_NEAR(left(10)[5], 0.5f, 1e-4);
  lose();

  // Far more hits than the command queue holds: none fails, none waits for a stream.
  for (int i = 0; i < 3 * int(engine::Engine::kCommandCapacity); ++i) ASSERT_EQ(hit(*kick), DsResult::Ok);
  EXPECT_FALSE(kick->playing());
  // Buffers come and go while silent, and their samples go with them.
  for (int i = 0; i < 50; ++i) buffer("snare.wav", testing::constant(0.25f, 1000)).reset();
  auto snare = buffer("snare.wav", testing::constant(0.25f, 100));
  EXPECT_EQ(device->buffers().size(), 2u);

  service->available = false;
  EXPECT_FALSE(device->reopen().ok());
  EXPECT_TRUE(device->silent());
  service->available = true;
  ASSERT_TRUE(device->reopen().ok());
  EXPECT_FALSE(device->silent());
  EXPECT_EQ(left(200)[50], 0.0f) << "hits made while silent do not sound late";
  ASSERT_EQ(hit(*kick), DsResult::Ok);
  ASSERT_EQ(hit(*snare), DsResult::Ok);
  EXPECT_NEAR(left(10)[5], 0.75f, 1e-4);
}

TEST_F(DeviceLoss, AStreamOfAnotherRateGetsItsBuffersMadeAgainAtThatRate) {
  const auto tone = testing::sine(441.0, 0.5, 44100, 4410);
  auto fromFile = buffer("tone.wav", tone);
  auto fromMemory = buffer("gone.wav", tone);
  std::filesystem::remove(dir.path() / "gone.wav");  // only the samples in memory are left
  ASSERT_EQ(fromFile->SetVolume(-600), DsResult::Ok);
  lose();
  service->rate = 48000;
  auto reopened = device->reopen();
  ASSERT_TRUE(reopened.ok());
  EXPECT_FALSE(reopened.value());
  EXPECT_TRUE(device->remaking());
  auto madeMeanwhile = buffer("late.wav", tone);  // made at the new rate at once
  while (!device->remakeSome(std::chrono::milliseconds(0))) ASSERT_TRUE(device->remaking());
  EXPECT_FALSE(device->silent());
  EXPECT_EQ(device->sampleRate(), 48000u);

  for (SoundBuffer* b : {fromFile.get(), fromMemory.get(), madeMeanwhile.get()}) {
    EXPECT_EQ(b->sampleRate(), 48000u);
    EXPECT_EQ(b->frames(), 4800u);
    ASSERT_EQ(b->Play(0), DsResult::Ok);
    const auto out = left(5000);
    // 441 Hz still: 109 (and a fraction) frames per period at 48000.
    int rising = 0;
    for (std::size_t i = 100; i < 4700; ++i) rising += out[i - 1] < 0 && out[i] >= 0;
    EXPECT_NEAR(rising, 4600 / (48000.0 / 441.0), 1.0);
    EXPECT_EQ(out[4900], 0.0f);
  }
  int32_t level = 0;
  ASSERT_EQ(fromFile->GetVolume(level), DsResult::Ok);
  EXPECT_EQ(level, -600);
}

}  // namespace
}  // namespace varnkit::audio
