#pragma once
// The output stream over RtAudio: JACK, PulseAudio or ALSA.

#include <atomic>
#include <memory>
#include <string>

#include "platform/audio/FrameClock.h"
#include "platform/audio/OutputBackend.h"

class RtAudio;

namespace varnkit::audio {

enum class SoundApi { Jack, Pulse, Alsa };

class RtAudioOutput final : public OutputBackend {
 public:
  static constexpr uint32_t kPreferredRate = 44100;
  static constexpr unsigned kBlockFrames = 256;

  // Opens the service's default output device, stereo float, at 44100 Hz when the device
  // offers it and at the device's own rate otherwise. Catches every RtAudio error.
  static Result<std::unique_ptr<RtAudioOutput>> open(SoundApi api, const std::string& clientName);
  ~RtAudioOutput() override;

  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override;
  DsResult start(Mixer& mixer) override;
  void stop() noexcept override;
  std::shared_ptr<const FrameClock> clock() const override { return clock_; }

  // Audio thread: fills one block.
  int process(float* out, unsigned frames) noexcept;

 private:
  RtAudioOutput(std::unique_ptr<RtAudio> audio, SoundApi api, uint32_t rate);

  std::unique_ptr<RtAudio> audio_;
  SoundApi api_;
  uint32_t rate_;
  Mixer* mixer_ = nullptr;                   // set before the stream starts
  std::shared_ptr<const FrameClock> clock_;  // JACK only
};

// The service's name as shown to people.
std::string apiName(SoundApi api);

}  // namespace varnkit::audio
