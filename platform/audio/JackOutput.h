#pragma once
// The output stream as a JACK client of VarnKit's own: two audio output ports, joined to the
// system's playback ports, and the server's frame clock read through the same client.

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/OutputBackend.h"

namespace varnkit::audio {

class JackClock;

class JackOutput final : public OutputBackend {
 public:
  // Opens a client named clientName on the server the process reaches (JACK_DEFAULT_SERVER),
  // never starting one.
  static Result<std::unique_ptr<JackOutput>> open(const std::string& clientName);
  ~JackOutput() override;
  JackOutput(const JackOutput&) = delete;
  JackOutput& operator=(const JackOutput&) = delete;

  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override { return "JACK"; }
  DsResult start(Mixer& mixer) override;
  void stop() noexcept override;
  std::shared_ptr<const FrameClock> clock() const override;
  // True once the server shut the client down or changed its rate.
  bool lost() noexcept override { return lost_.load(std::memory_order_acquire); }

 private:
  explicit JackOutput(jack_client_t* client);
  static int process(jack_nframes_t frames, void* self) noexcept;
  static void shutdown(jack_status_t code, const char* reason, void* self) noexcept;
  static int rateChanged(jack_nframes_t rate, void* self) noexcept;
  static int periodChanged(jack_nframes_t frames, void* self) noexcept;
  void render(jack_nframes_t frames) noexcept;
  void joinPlaybackPorts();

  jack_client_t* client_;
  jack_port_t* ports_[2] = {nullptr, nullptr};
  uint32_t rate_;
  Mixer* mixer_ = nullptr;
  std::vector<float> block_;  // interleaved, sized once
  std::shared_ptr<JackClock> clock_;
  std::atomic<bool> lost_{false};
  std::atomic<bool> serverGone_{false};
  bool active_ = false;
};

}  // namespace varnkit::audio
