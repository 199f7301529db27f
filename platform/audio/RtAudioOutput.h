#pragma once
// The output stream over RtAudio, for ALSA: JACK, PipeWire and PulseAudio have back-ends of
// their own.

#include <memory>
#include <string>

#include "platform/audio/OutputBackend.h"
#include "platform/audio/StreamWatch.h"

class RtAudio;

namespace varnkit::audio {

class RtAudioOutput final : public OutputBackend {
 public:
  static constexpr uint32_t kPreferredRate = 44100;
  static constexpr unsigned kBlockFrames = 256;

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
  DsResult start(engine::Engine& engine) override;
  void stop() noexcept override;
  // The stream stopped running, its writes kept failing, or it rendered nothing for a while
  // (StreamWatch).
  bool lost() noexcept override;

  // Audio thread: fills one block; 2 (abort the stream) once its writes kept failing, so that
  // the service's thread waits instead of calling on and on.
  int process(float* out, unsigned frames) noexcept;
  // Audio thread: the service could not write the last block.
  void writeFailed() noexcept { watch_.writeFailed(); }

 private:
  RtAudioOutput(std::unique_ptr<RtAudio> audio, SoundApi api, uint32_t rate);

  std::unique_ptr<RtAudio> audio_;
  SoundApi api_;
  uint32_t rate_;
  unsigned frames_ = 0;
  engine::Engine* engine_ = nullptr;  // set before the stream starts
  StreamWatch watch_;
};

}  // namespace varnkit::audio
