#pragma once
// The output stream over RtAudio: PulseAudio or ALSA (JACK has a client of its own).

#include <chrono>
#include <memory>
#include <string>

#include "platform/audio/OutputBackend.h"

class RtAudio;

namespace varnkit::audio {

class RtAudioOutput final : public OutputBackend {
 public:
  static constexpr uint32_t kPreferredRate = 44100;
  static constexpr unsigned kBlockFrames = 256;
  static constexpr std::chrono::milliseconds kStallLimit{750};

  // Opens the service's default output device, stereo float, at 44100 Hz when the device
  // offers it and at the device's own rate otherwise, asking for bufferFrames per block (0:
  // kBlockFrames). Catches every RtAudio error.
  static Result<std::unique_ptr<RtAudioOutput>> open(SoundApi api, const std::string& clientName,
                                                     unsigned bufferFrames = 0);
  // The frames per block the service granted.
  unsigned bufferFrames() const { return frames_; }
  ~RtAudioOutput() override;

  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override;
  DsResult start(Mixer& mixer) override;
  void stop() noexcept override;
  // The stream stopped running, or rendered nothing for kStallLimit.
  bool lost() noexcept override;

  // Audio thread: fills one block.
  int process(float* out, unsigned frames) noexcept;

 private:
  RtAudioOutput(std::unique_ptr<RtAudio> audio, SoundApi api, uint32_t rate);

  std::unique_ptr<RtAudio> audio_;
  SoundApi api_;
  uint32_t rate_;
  unsigned frames_ = 0;
  Mixer* mixer_ = nullptr;  // set before the stream starts
  // User-interface thread: what lost() last saw of the stream's progress.
  uint64_t seenBlocks_ = 0;
  std::chrono::steady_clock::time_point seenAt_{};
};

}  // namespace varnkit::audio
