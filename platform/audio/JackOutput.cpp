#include "platform/audio/JackOutput.h"

#include <algorithm>
#include <thread>

#include "platform/audio/FrameClock.h"
#include "platform/audio/Mixer.h"

namespace varnkit::audio {

// The server's frame timer, read through the output's client. Readers on other threads (the
// MIDI thread stamps messages with it) may outlive the client: retiring waits until no read
// is under way, and from then on the clock reads 0.
class JackClock final : public FrameClock {
 public:
  explicit JackClock(jack_client_t* client) : client_(client) {}

  uint32_t cycleStart() const noexcept override {
    readers_.fetch_add(1);
    jack_client_t* client = client_.load();
    const uint32_t start = client != nullptr ? jack_last_frame_time(client) : 0;
    readers_.fetch_sub(1);
    return start;
  }
  uint32_t period() const noexcept override { return period_.load(std::memory_order_relaxed); }
  void setPeriod(uint32_t period) noexcept { period_.store(period, std::memory_order_relaxed); }

  // Before the client closes. Not on a reader's thread.
  void retire() noexcept {
    client_.store(nullptr);
    while (readers_.load() != 0) std::this_thread::yield();
  }

 private:
  std::atomic<jack_client_t*> client_;
  mutable std::atomic<int> readers_{0};
  std::atomic<uint32_t> period_{0};
};

namespace {

// More frames than any server's period: a longer cycle is rendered in pieces.
constexpr std::size_t kBlockCapacity = 8192;

}  // namespace

Result<std::unique_ptr<JackOutput>> JackOutput::open(const std::string& clientName) {
  jack_status_t status{};
  jack_client_t* client = jack_client_open(clientName.c_str(), JackNoStartServer, &status);
  if (client == nullptr) return Failure{DsResult::NoDriver, "no JACK server answers"};
  std::unique_ptr<JackOutput> self(new JackOutput(client));
  for (int i = 0; i < 2; ++i) {
    const std::string port = "outport " + std::to_string(i);
    self->ports_[i] =
        jack_port_register(client, port.c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
    if (self->ports_[i] == nullptr) return Failure{DsResult::NoDriver, "no JACK port " + port};
  }
  jack_set_process_callback(client, &JackOutput::process, self.get());
  jack_on_info_shutdown(client, &JackOutput::shutdown, self.get());
  jack_set_sample_rate_callback(client, &JackOutput::rateChanged, self.get());
  jack_set_buffer_size_callback(client, &JackOutput::periodChanged, self.get());
  return self;
}

JackOutput::JackOutput(jack_client_t* client)
    : client_(client),
      rate_(jack_get_sample_rate(client)),
      block_(2 * kBlockCapacity),
      clock_(std::make_shared<JackClock>(client)) {
  clock_->setPeriod(jack_get_buffer_size(client));
}

JackOutput::~JackOutput() {
  stop();
}

std::shared_ptr<const FrameClock> JackOutput::clock() const {
  return clock_;
}

DsResult JackOutput::start(Mixer& mixer) {
  mixer_ = &mixer;
  if (jack_activate(client_) != 0) return DsResult::NoDriver;
  active_ = true;
  joinPlaybackPorts();
  return DsResult::Ok;
}

void JackOutput::joinPlaybackPorts() {
  const char** playback = jack_get_ports(client_, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsPhysical | JackPortIsInput);
  if (playback == nullptr) return;
  for (int i = 0; i < 2 && playback[i] != nullptr; ++i)
    jack_connect(client_, jack_port_name(ports_[i]), playback[i]);
  jack_free(playback);
}

void JackOutput::stop() noexcept {
  if (client_ == nullptr) return;
  clock_->retire();
  // A client of a server that has gone is left to the JACK library, which frees it when the
  // process next opens a client; closing it after that would touch freed memory.
  if (!serverGone_.load(std::memory_order_acquire)) {
    if (active_) jack_deactivate(client_);
    jack_client_close(client_);
  }
  active_ = false;
  client_ = nullptr;
}

int JackOutput::process(jack_nframes_t frames, void* self) noexcept {
  static_cast<JackOutput*>(self)->render(frames);
  return 0;
}

void JackOutput::render(jack_nframes_t frames) noexcept {
  float* left = static_cast<float*>(jack_port_get_buffer(ports_[0], frames));
  float* right = static_cast<float*>(jack_port_get_buffer(ports_[1], frames));
  uint32_t start = jack_last_frame_time(client_);
  for (jack_nframes_t done = 0; done < frames;) {
    const auto n = jack_nframes_t(std::min<std::size_t>(frames - done, kBlockCapacity));
    mixer_->render(block_.data(), n, start);
    for (jack_nframes_t i = 0; i < n; ++i) {
      left[done + i] = block_[2 * i];
      right[done + i] = block_[2 * i + 1];
    }
    done += n;
    start += n;
  }
}

void JackOutput::shutdown(jack_status_t code, const char*, void* self) noexcept {
  auto* out = static_cast<JackOutput*>(self);
  // A client the server dropped for being too slow is closed as ever; the server lives on.
  if ((code & JackClientZombie) == 0) out->serverGone_.store(true, std::memory_order_release);
  out->lost_.store(true, std::memory_order_release);
}

int JackOutput::rateChanged(jack_nframes_t rate, void* self) noexcept {
  auto* out = static_cast<JackOutput*>(self);
  // Every buffer holds samples at the old rate: the device must be made again.
  if (rate != out->rate_) out->lost_.store(true, std::memory_order_release);
  return 0;
}

int JackOutput::periodChanged(jack_nframes_t frames, void* self) noexcept {
  static_cast<JackOutput*>(self)->clock_->setPeriod(frames);
  return 0;
}

}  // namespace varnkit::audio
