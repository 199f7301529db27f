#include "tests/support/AudioFixture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace varnkit::testing {

std::unique_ptr<audio::SoundBuffer> OfflineAudio::buffer(const std::vector<float>& samples,
                                                         const WavSpec& spec) {
  const std::string path = dir.file("sample" + std::to_string(files_++) + ".wav");
  writeFile(path, makeWav(samples, spec));
  audio::WaveFormat format;
  auto made = device->CreateSoundBufferFromFile(
      path, audio::BufferDesc{audio::DSBCAPS_CTRLVOLUME, 0}, format);
  if (!made.ok()) {
    ADD_FAILURE() << made.failure().text;
    return nullptr;
  }
  return std::move(made).value();
}

std::vector<float> OfflineAudio::left(uint32_t frames) {
  const std::vector<float> stereo = device->render(frames);
  std::vector<float> l(frames);
  for (uint32_t i = 0; i < frames; ++i) {
    l[i] = stereo[2 * i];
    EXPECT_EQ(stereo[2 * i], stereo[2 * i + 1]) << "frame " << i;
  }
  return l;
}

float pcm16(float s) {
  return float(std::lround(double(s) * 32768.0)) / 32768.0f;
}

float largestStep(const std::vector<float>& v) {
  float step = 0.0f;
  for (std::size_t i = 1; i < v.size(); ++i) step = std::max(step, std::fabs(v[i] - v[i - 1]));
  return step;
}

}  // namespace varnkit::testing
