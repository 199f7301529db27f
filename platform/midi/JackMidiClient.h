#pragma once
// Whether the JACK server is running, and how many cycles it has run: an output port can
// then tell that what it wrote has been taken away, without asking RtMidi, which cannot say.

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace varnkit::midi {

// A client whose server has gone is never closed: the next client the process opens makes
// the JACK library free every such client itself, and closing one after that would touch
// freed memory. Whoever holds a client of a server that may go follows the same rule.
class JackCycles {
 public:
  // A connection made now is in force once the server has begun this many cycles: the
  // server takes it up at the start of a cycle, and the cycle under way may be past that.
  static constexpr uint64_t kCyclesToConnect = 3;

  // The process's watch, opened on first use and shared while anyone holds it; null when
  // no JACK server answers. Not on a MIDI thread.
  static std::shared_ptr<JackCycles> shared();
  ~JackCycles();
  JackCycles(const JackCycles&) = delete;
  JackCycles& operator=(const JackCycles&) = delete;

  // Cycles run since the watch opened. Any thread.
  uint64_t count() const noexcept { return count_.load(std::memory_order_acquire); }
  // False once the server has gone away. Any thread.
  bool running() const noexcept { return running_.load(std::memory_order_acquire); }
  // Waits until the server has begun cycles more cycles, at most limit; whether it has.
  // Not on a MIDI thread.
  bool waitCycles(uint64_t cycles, std::chrono::milliseconds limit) const;
  // The full names of the server's MIDI ports with these flags (JackPortIsOutput: the ports
  // an input reads from), in the server's order. Not on a MIDI thread.
  std::vector<std::string> midiPorts(unsigned long flags) const;

  // The watch of the server this process reaches, kept for the run so that looking at the
  // ports again and again opens no client; a new one once that server has gone. Null when
  // no server answers. Not on a MIDI thread.
  static std::shared_ptr<JackCycles> kept();

 private:
  explicit JackCycles(jack_client_t* client) : client_(client) {}
  static int process(jack_nframes_t frames, void* self) noexcept;
  static void shutdown(void* self) noexcept;

  jack_client_t* client_;
  std::atomic<uint64_t> count_{0};
  std::atomic<bool> running_{true};
};

}  // namespace varnkit::midi
