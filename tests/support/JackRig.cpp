#include "tests/support/JackRig.h"

#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace varnkit::testing {

namespace {

// A client with one port, not running yet; null when it cannot be.
jack_client_t* openClient(const std::string& name, const char* port, const char* type,
                          unsigned long flags, JackProcessCallback process, void* self,
                          jack_port_t*& registered) {
  jack_client_t* client = jack_client_open(name.c_str(), JackNoStartServer, nullptr);
  if (client == nullptr) return nullptr;
  registered = jack_port_register(client, port, type, flags, 0);
  if (registered == nullptr || jack_set_process_callback(client, process, self) != 0) {
    jack_client_close(client);
    return nullptr;
  }
  return client;
}

void closeClient(jack_client_t*& client) {
  if (client != nullptr) jack_client_close(client);
  client = nullptr;
}

}  // namespace

JackRig::JackRig(const std::string& name, double seconds) : sent_(100000) {
  ears_ = openClient(name + "-ears", "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, &JackRig::hear,
                     this, audioIn_);
  keys_ = openClient(name, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, &JackRig::play,
                     this, midiOut_);
  if (ok()) samples_.resize(std::size_t(seconds * jack_get_sample_rate(ears_)));
  if (!ok() || jack_activate(ears_) != 0 || jack_activate(keys_) != 0) {
    closeClient(keys_);
    closeClient(ears_);
  }
}

JackRig::~JackRig() {
  closeClient(keys_);
  closeClient(ears_);
}

uint32_t JackRig::rate() const {
  return jack_get_sample_rate(keys_);
}

uint32_t JackRig::period() const {
  return jack_get_buffer_size(keys_);
}

std::string JackRig::midiPort() const {
  return jack_port_name(midiOut_);
}

bool JackRig::listenTo(const std::string& prefix) {
  const char** ports =
      jack_get_ports(ears_, ("^" + prefix).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
  if (ports == nullptr) return false;
  const int r = jack_connect(ears_, ports[0], jack_port_name(audioIn_));
  jack_free(ports);
  return r == 0;
}

bool JackRig::send(uint8_t status, uint8_t data1, uint8_t data2, uint32_t offset) {
  return pending_.push(Pending{{status, data1, data2}, offset});
}

std::vector<uint64_t> JackRig::sentFrames() const {
  return {sent_.begin(),
          sent_.begin() + std::ptrdiff_t(sentCount_.load(std::memory_order_acquire))};
}

std::vector<float> JackRig::recording() const {
  return {samples_.begin(), samples_.begin() + std::ptrdiff_t(recorded())};
}

bool JackRig::recordFor(std::size_t frames, double seconds) const {
  const std::size_t until = std::min(recorded() + frames, samples_.size());
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (recorded() < until) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

int JackRig::play(jack_nframes_t frames, void* self) {
  auto& rig = *static_cast<JackRig*>(self);
  const uint64_t cycleStart = jack_last_frame_time(rig.keys_);
  rig.mendLateSends(cycleStart);
  rig.sendQueued(frames, cycleStart);
  return 0;
}

int JackRig::hear(jack_nframes_t frames, void* self) {
  auto& rig = *static_cast<JackRig*>(self);
  const uint64_t cycleStart = jack_last_frame_time(rig.ears_);
  rig.mendLateRecording(cycleStart);
  rig.record(frames, cycleStart);
  return 0;
}

// A client that runs late on a server that does not wait for it reads the next cycle's start:
// the last cycle then looked like one after a skipped cycle, and this one repeats its start.
// The last cycle's sound, or its sends, go back to where they belong.
void JackRig::mendLateRecording(uint64_t cycleStart) {
  const std::size_t at = count_.load(std::memory_order_relaxed);
  const uint64_t expected = first_.load(std::memory_order_relaxed) + at;
  if (!started_.load() || cycleStart >= expected) return;
  const uint64_t back = expected - cycleStart;
  if (back > lastGap_ || lastFrames_ > at) return;
  std::copy(samples_.begin() + std::ptrdiff_t(at - lastFrames_),
            samples_.begin() + std::ptrdiff_t(at),
            samples_.begin() + std::ptrdiff_t(at - lastFrames_ - back));
  count_.store(at - back, std::memory_order_release);
  lastGap_ = 0;
}

void JackRig::mendLateSends(uint64_t cycleStart) {
  if (nextSendStart_ == 0 || cycleStart >= nextSendStart_) return;
  const uint64_t back = nextSendStart_ - cycleStart;
  if (back > lastSendGap_) return;
  for (std::size_t i = lastSendsFrom_; i < sentCount_.load(std::memory_order_relaxed); ++i)
    sent_[i] -= back;
  lastSendGap_ = 0;
}

void JackRig::sendQueued(jack_nframes_t frames, uint64_t cycleStart) {
  lastSendsFrom_ = sentCount_.load(std::memory_order_relaxed);
  lastSendGap_ =
      nextSendStart_ != 0 && cycleStart > nextSendStart_ ? cycleStart - nextSendStart_ : 0;
  nextSendStart_ = cycleStart + frames;
  void* buffer = jack_port_get_buffer(midiOut_, frames);
  jack_midi_clear_buffer(buffer);
  while (auto p = pending_.pop()) {
    const uint32_t offset = p->offset < frames ? p->offset : frames - 1;
    if (jack_midi_event_write(buffer, offset, p->bytes, 3) != 0) continue;
    const std::size_t n = sentCount_.load(std::memory_order_relaxed);
    if (n < sent_.size()) {
      sent_[n] = cycleStart + offset;
      sentCount_.store(n + 1, std::memory_order_release);
    }
  }
}

void JackRig::record(jack_nframes_t frames, uint64_t cycleStart) {
  if (!started_.exchange(true)) first_.store(cycleStart, std::memory_order_release);
  const auto* in = static_cast<const float*>(jack_port_get_buffer(audioIn_, frames));
  std::size_t at = count_.load(std::memory_order_relaxed);
  // Cycles the server skipped (a late client, an xrun) are kept as silence, so that a frame's
  // place in the recording stays its distance from firstFrame().
  const uint64_t expected = first_.load(std::memory_order_relaxed) + at;
  lastGap_ = 0;
  for (uint64_t gap = cycleStart > expected ? cycleStart - expected : 0;
       gap > 0 && at < samples_.size(); --gap, ++lastGap_)
    samples_[at++] = 0.0f;
  lastFrames_ = 0;
  for (jack_nframes_t i = 0; i < frames && at < samples_.size(); ++i, ++lastFrames_)
    samples_[at++] = in[i];
  count_.store(at, std::memory_order_release);
}

}  // namespace varnkit::testing
