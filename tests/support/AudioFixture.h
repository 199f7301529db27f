#pragma once
// An offline sound device and buffers made from samples written by the test.

#include <memory>
#include <string>
#include <vector>

#include "platform/audio/Device.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {

class OfflineAudio {
 public:
  explicit OfflineAudio(uint32_t rate = 44100) : device(audio::Device::openOffline(rate)) {}

  // A buffer with volume control made from the samples, stored as a WAV file of the given
  // format; fails the test when the device refuses it.
  std::unique_ptr<audio::SoundBuffer> buffer(const std::vector<float>& samples,
                                             const WavSpec& spec = {});

  // Renders frames and returns the left channel (the right one is checked equal).
  std::vector<float> left(uint32_t frames);

  TempDir dir;
  std::unique_ptr<audio::Device> device;

 private:
  int files_ = 0;
};

// The value a sample takes after a round trip through 16-bit PCM.
float pcm16(float s);

// The largest difference between neighbouring samples.
float largestStep(const std::vector<float>& v);

}  // namespace varnkit::testing
