#pragma once
// The process's one JACK MIDI client: it lists the server's MIDI ports, counts the cycles the
// server runs (so that an output port can tell that what it wrote has been taken away), and
// reads every JACK MIDI input, each on a port of its own.

#include <jack/jack.h>
#include <pthread.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/midi/Result.h"

namespace varnkit::midi {

class JackInputPort;

// A client whose server has gone is never closed: the next client the process opens makes
// the JACK library free every such client itself, and closing one after that would touch
// freed memory. Whoever holds a client of a server that may go follows the same rule.
class JackMidiClient {
 public:
  static constexpr const char* kName = "VarnKit MIDI";
  // A connection made now is in force once the server has run this many more cycles: it
  // takes the connection up at the start of a cycle, and the cycle under way may be past that.
  static constexpr uint64_t kCyclesToConnect = 3;
  // The inputs one client reads at most.
  static constexpr std::size_t kInputs = 16;

  // The client of the server this process reaches now, opened and activated on first use and
  // kept for the run; a new one once that server has gone or has dropped it. Null when no
  // server answers. Clients are closed when the process ends, and never destroyed. Not on a
  // MIDI thread.
  static JackMidiClient* get();
  JackMidiClient(const JackMidiClient&) = delete;
  JackMidiClient& operator=(const JackMidiClient&) = delete;

  // Cycles run since the client opened. Any thread.
  uint64_t count() const noexcept { return count_.load(std::memory_order_acquire); }
  // False once the server has gone away or dropped the client. Any thread.
  bool running() const noexcept { return running_.load(std::memory_order_acquire); }
  // True on the thread the client's process callback runs on. Any thread.
  bool onProcessThread() const noexcept;
  // Waits until the server has run cycles more cycles, at most limit; whether it has.
  // Not on a MIDI thread.
  bool waitCycles(uint64_t cycles, std::chrono::milliseconds limit) const;
  // The full names of the server's MIDI ports with these flags (JackPortIsOutput: the ports
  // an input reads from), in the server's order. Not on a MIDI thread.
  std::vector<std::string> midiPorts(unsigned long flags);

  // Gives reader a port of the client's own, connected from the port named source; slot
  // receives its number on success only. The process callback hands reader every event of
  // that port from now on. Not on a MIDI thread.
  MMRESULT attach(const std::string& source, JackInputPort& reader, std::size_t& slot);
  // Ends what attach began: once this returns the slot's reader is not called again, and
  // the port is free for the next input. Not on the process thread.
  void detach(std::size_t slot) noexcept;
  // Returns once no process callback is reading the slot. Not on the process thread.
  void waitIdle(std::size_t slot) const noexcept;

 private:
  // An input port of the client. The process callback reads reader, and port through it;
  // the rest is guarded by lock_.
  struct Slot {
    std::atomic<jack_port_t*> port{nullptr};  // registered once, kept for the next input
    std::atomic<JackInputPort*> reader{nullptr};
    std::atomic<int> busy{0};  // process callbacks reading the slot
    bool taken = false;
  };

  explicit JackMidiClient(jack_client_t* client) noexcept : client_(client) {}
  static JackMidiClient* open();
  // Lets go of a client that no longer runs, closing it only when its server lives on.
  void retire() noexcept;
  // Takes a client that still runs off its server's graph.
  void close() noexcept;
  // At the end of the process: a client left open stays on the graph until the server notices
  // that its process is gone, and a server that waits for its clients waits for that one.
  static void closeAll() noexcept;
  // Guarded by lock_: whether JACK may still be asked anything on the client's behalf.
  bool usable() const noexcept { return !closed_ && running(); }
  MMRESULT takeSlot(std::size_t& slot);
  static int process(jack_nframes_t frames, void* self) noexcept;
  void read(Slot& slot, jack_nframes_t frames, jack_nframes_t cycleStart) noexcept;
  static void shutdown(jack_status_t code, const char* reason, void* self) noexcept;

  jack_client_t* const client_;
  std::array<Slot, kInputs> slots_;
  std::atomic<uint64_t> count_{0};
  std::atomic<bool> running_{true};
  std::atomic<bool> dropped_{false};  // by a server that lives on
  std::atomic<pthread_t> thread_{};
  std::atomic<bool> threadKnown_{false};
  std::mutex lock_;  // every JACK call but the process callback's; never taken there
  bool closed_ = false;
};

}  // namespace varnkit::midi
