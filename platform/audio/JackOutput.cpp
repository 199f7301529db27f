#include "platform/audio/JackOutput.h"

#include <algorithm>

#include "platform/audio/FrameClock.h"
#include "engine/Engine.h"

namespace varnkit::audio {

// The server's frame timer as the process's client last saw it: readers on other threads (the
// MIDI thread stamps messages with it) may outlive the stream, and reading it asks nothing of
// the server.
class JackClock final : public FrameClock {
 public:
  explicit JackClock(const jack::ProcessClient& client) : client_(client) {}
  uint32_t cycleStart() const noexcept override { return client_.cycleStart(); }
  uint32_t period() const noexcept override { return client_.period(); }

 private:
  const jack::ProcessClient& client_;  // kept for the run
};

namespace {

// More frames than any server's period: a longer cycle is rendered in pieces.
constexpr std::size_t kBlockCapacity = 8192;

}  // namespace

Result<std::unique_ptr<JackOutput>> JackOutput::open() {
  jack::ProcessClient* client = jack::ProcessClient::get(true);
  if (client == nullptr) return Failure{DsResult::NoDriver, "no JACK server answers"};
  return std::unique_ptr<JackOutput>(new JackOutput(*client));
}

JackOutput::JackOutput(jack::ProcessClient& client)
    : client_(client),
      generation_(client.generation()),
      rate_(client.sampleRate()),
      block_(new float[2 * kBlockCapacity]),
      clock_(std::make_shared<JackClock>(client)) {}

JackOutput::~JackOutput() {
  stop();
}

std::shared_ptr<const FrameClock> JackOutput::clock() const {
  return clock_;
}

bool JackOutput::lost() noexcept {
  // Every buffer holds samples at the old rate when the rate changed: the device must be made
  // again, as after a new client.
  if (!client_.running() || client_.generation() != generation_ || client_.sampleRate() != rate_)
    return true;
  if (!active_) return false;
  if (!cycles_.stalled(client_.count(), kStallLimit, kStallLimit)) return false;
  client_.stalled(generation_);
  return true;
}

DsResult JackOutput::start(engine::Engine& engine) {
  engine_ = &engine;
  if (lost() || client_.attachSound(*this) != generation_) return DsResult::NoDriver;
  active_ = true;
  cycles_.restart(client_.count());
  return DsResult::Ok;
}

void JackOutput::stop() noexcept {
  if (!active_) return;
  client_.detachSound(*this);
  active_ = false;
}

void JackOutput::render(float* left, float* right, uint32_t frames, uint32_t start) noexcept {
  for (uint32_t done = 0; done < frames;) {
    const auto n = uint32_t(std::min<std::size_t>(frames - done, kBlockCapacity));
    engine_->render(block_.get(), n, start);
    for (uint32_t i = 0; i < n; ++i) {
      left[done + i] = block_[2 * i];
      right[done + i] = block_[2 * i + 1];
    }
    done += n;
    start += n;
  }
}

}  // namespace varnkit::audio
