#pragma once
// The output stream on the process's one JACK client: its two audio output ports, joined to the
// system's playback ports, and the server's frame clock read through the same client.

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "platform/audio/OutputBackend.h"
#include "platform/audio/ProgressWatch.h"
#include "platform/jack/ProcessClient.h"

namespace varnkit::audio {

class JackClock;

class JackOutput final : public OutputBackend, private jack::AudioRenderer {
 public:
  // On the server the process reaches (JACK_DEFAULT_SERVER), never starting one.
  // User-interface thread.
  static Result<std::unique_ptr<JackOutput>> open();
  ~JackOutput() override;
  JackOutput(const JackOutput&) = delete;
  JackOutput& operator=(const JackOutput&) = delete;

  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override { return "JACK"; }
  DsResult start(engine::Engine& engine) override;
  void stop() noexcept override;
  std::shared_ptr<const FrameClock> clock() const override;
  // A server that runs no cycle for this long is gone, whether or not it said so.
  static constexpr std::chrono::milliseconds kStallLimit{750};

  // True once the server shut the client down, dropped it, changed its rate or stopped
  // running cycles. User-interface thread.
  bool lost() noexcept override;

 private:
  explicit JackOutput(jack::ProcessClient& client);
  void render(float* left, float* right, uint32_t frames, uint32_t cycleStart) noexcept override;

  jack::ProcessClient& client_;
  const uint64_t generation_;  // of the JACK client the stream was opened on
  const uint32_t rate_;
  engine::Engine* engine_ = nullptr;
  std::unique_ptr<float[]> block_;  // interleaved, sized once
  std::shared_ptr<JackClock> clock_;
  bool active_ = false;
  ProgressWatch cycles_;  // user-interface thread
};

}  // namespace varnkit::audio
