#pragma once
// A JACK client of the test's own with MIDI output ports, written in its own process callback:
// notes go out at chosen frames of one cycle, and the test learns that cycle's start.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/integration/midi/MidiJackFixtures.h"

namespace varnkit::midictl::testing {

class TimedJackSource {
 public:
  static constexpr std::size_t kPorts = 3;
  static constexpr std::size_t kMaxNotes = 8;

  explicit TimedJackSource(const char* name = "varnkit-midi-test-timed") {
    client_ = jack_client_open(name, JackNoStartServer, nullptr);
    if (client_ == nullptr) return;
    for (std::size_t p = 0; p < kPorts; ++p)
      ports_[p] = jack_port_register(client_, ("out " + std::to_string(p + 1)).c_str(),
                                     JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(client_, &TimedJackSource::process, this);
    jack_activate(client_);
  }
  ~TimedJackSource() {
    if (client_ != nullptr) jack_client_close(client_);
  }
  bool ok() const { return client_ != nullptr; }
  jack_client_t* client() const { return client_; }
  std::string port(std::size_t p) const { return jack_port_name(ports_[p]); }
  jack_nframes_t period() const { return jack_get_buffer_size(client_); }

  // Sends note on (key firstKey + i, velocity 100) at offsets[i] of the next cycle on port p;
  // the start of that cycle, or nothing when the server ran no cycle for two seconds.
  std::optional<uint32_t> sendAt(std::size_t p, const std::vector<uint32_t>& offsets,
                                 uint8_t firstKey) {
    port_ = p;
    notes_ = std::min(offsets.size(), kMaxNotes);
    for (std::size_t i = 0; i < notes_; ++i) offsets_[i] = offsets[i];
    firstKey_ = firstKey;
    state_.store(kAsked, std::memory_order_release);
    if (!waitUntil([&] { return state_.load(std::memory_order_acquire) == kSent; }, 2s))
      return std::nullopt;
    state_.store(kIdle);
    return cycleStart_;
  }

 private:
  enum State { kIdle, kAsked, kSent };

  static int process(jack_nframes_t frames, void* self) noexcept {
    auto& source = *static_cast<TimedJackSource*>(self);
    for (jack_port_t* port : source.ports_)
      jack_midi_clear_buffer(jack_port_get_buffer(port, frames));
    if (source.state_.load(std::memory_order_acquire) != kAsked) return 0;
    void* buffer = jack_port_get_buffer(source.ports_[source.port_], frames);
    for (std::size_t i = 0; i < source.notes_; ++i) {
      const uint8_t note[3] = {0x90, uint8_t(source.firstKey_ + i), 100};
      jack_midi_event_write(buffer, source.offsets_[i], note, 3);
    }
    source.cycleStart_ = jack_last_frame_time(source.client_);
    source.state_.store(kSent, std::memory_order_release);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  std::array<jack_port_t*, kPorts> ports_{};
  // Written by the test while idle, read by the callback once asked:
  std::size_t port_ = 0, notes_ = 0;
  std::array<uint32_t, kMaxNotes> offsets_{};
  uint8_t firstKey_ = 0;
  uint32_t cycleStart_ = 0;  // written by the callback before it says sent
  std::atomic<State> state_{kIdle};
};

}  // namespace varnkit::midictl::testing
