#pragma once
// The process's one JACK client, "VarnKit": its sound output's two audio ports and every JACK
// MIDI input it reads, on one graph node. In each cycle the MIDI inputs are read first and
// the sound is rendered after them, so a note read in a cycle can sound in that same cycle:
// two clients would be two nodes that the server runs in an order of its own.
//
// This is a shared library of its own, so that the program and the Midi module it loads
// share the one client.

#include <jack/jack.h>
#include <pthread.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace varnkit::jack {

// Reads the events of one MIDI input port. The client's process callback only.
class MidiReader {
 public:
  // One event, at the server's frame.
  virtual void received(const uint8_t* bytes, std::size_t size, uint32_t frame) noexcept = 0;

 protected:
  ~MidiReader() = default;
};

// Fills the two audio outputs. The client's process callback only, after every MIDI input
// of the cycle was read.
class AudioRenderer {
 public:
  // frames of left and right from the cycle's first frame, cycleStart on the server's clock.
  virtual void render(float* left, float* right, uint32_t frames, uint32_t cycleStart) noexcept = 0;

 protected:
  ~AudioRenderer() = default;
};

enum class Attached { Ok, NoServer, NoSource, NoRoom, Failed };

// One object per server, kept for the run: when the server goes away (and comes back, however
// quickly) or drops the client, the object opens a new JACK client on it and every open MIDI
// input goes on there, registered and connected again, without its opener doing anything. The
// sound output sees its generation change and starts again on the new client.
//
// A JACK client whose server has gone is never closed: the next client the process opens makes
// the JACK library free every such client itself, and closing one after that would touch freed
// memory. Whoever holds a client of a server that may go follows the same rule.
class ProcessClient {
 public:
  static constexpr const char* kName = "VarnKit";
  // The sound output's ports.
  static constexpr const char* kOutputs[2] = {"outport 0", "outport 1"};
  // A connection made now is in force once the server has run this many more cycles: it
  // takes the connection up at the start of a cycle, and the cycle under way may be past that.
  static constexpr uint64_t kCyclesToConnect = 3;
  // The MIDI inputs one client reads at most.
  static constexpr std::size_t kInputs = 16;
  // How often a client whose server has gone tries to reach it again while inputs are open,
  // and an input whose source port is missing looks for it again: often for the first second,
  // then seldom, as every failed try has the JACK library complain.
  static constexpr std::chrono::milliseconds kRetry{50};
  static constexpr std::chrono::milliseconds kLaterRetry{1000};
  // How long a loss is left to settle before the first new client opens. Opening a client
  // after the server died makes the JACK library free every client of the process at once;
  // by then each of them must have had its own shutdown callback, or its owner would go on
  // using freed memory.
  static constexpr std::chrono::milliseconds kSettle{250};

  // The client of the server this process reaches now, opened and activated on first use and
  // kept for the run; on a new JACK client once that server has gone or has dropped it. Null
  // when no server answers. withSound: the client has the sound output's ports from its start
  // on, so that starting the sound later changes a running graph no more than a connection.
  // Not on the process thread.
  static ProcessClient* get(bool withSound = false);
  ProcessClient(const ProcessClient&) = delete;
  ProcessClient& operator=(const ProcessClient&) = delete;

  // Cycles run since the first client opened. Any thread.
  uint64_t count() const noexcept { return count_.load(std::memory_order_acquire); }
  // False once the server has gone away or dropped the client, until it is on the server
  // again. Any thread.
  bool running() const noexcept {
    const Link* link = live_.load(std::memory_order_acquire);
    return link != nullptr && !link->gone.load(std::memory_order_acquire);
  }
  // Grows each time the object opens a new JACK client: what was registered or attached on
  // the last one is gone. Any thread.
  uint64_t generation() const noexcept { return generation_.load(std::memory_order_acquire); }
  // Grows each time the client comes back to a server that went away: what other clients of
  // the process opened before is on a server that has gone. Any thread.
  uint64_t serversLost() const noexcept { return serversLost_.load(std::memory_order_acquire); }
  // The server's rate and period as the client last heard them. Any thread.
  uint32_t sampleRate() const noexcept { return rate_.load(std::memory_order_acquire); }
  uint32_t period() const noexcept { return period_.load(std::memory_order_acquire); }
  // The frame the cycle under way began at; inside the process callback, the one being run.
  // Any thread, real-time safe: it asks nothing of the server.
  uint32_t cycleStart() const noexcept { return cycleStart_.load(std::memory_order_acquire); }
  // True on the thread the client's process callback runs on. Any thread.
  bool onProcessThread() const noexcept;
  // Waits until the server has run cycles more cycles, at most limit; whether it has.
  // Not on the process thread.
  bool waitCycles(uint64_t cycles, std::chrono::milliseconds limit) const;
  // The full names of the server's MIDI ports with these flags (JackPortIsOutput: the ports
  // an input reads from), in the server's order. Not on the process thread.
  std::vector<std::string> midiPorts(unsigned long flags);

  // Gives reader a MIDI port of the client's own, connected from the port named source; slot
  // receives its number on success only. The process callback hands reader every event of
  // that port from now on, on this JACK client and on those that follow it. Not on the
  // process thread.
  Attached attach(const std::string& source, MidiReader& reader, std::size_t& slot);
  // Ends what attach began: once this returns the slot's reader is not called again, and
  // the port is free for the next input. Not on the process thread.
  void detach(std::size_t slot) noexcept;
  // Returns once no process callback is reading the slot. Not on the process thread.
  void waitIdle(std::size_t slot) const noexcept;

  // Has renderer fill the sound output's ports from the next cycle on, on the JACK client of
  // now; ports nobody connected yet are joined to the system's first two playback ports. The
  // generation it is attached to; 0 when no server answers or another renderer is attached.
  // Not on the process thread.
  uint64_t attachSound(AudioRenderer& renderer);
  // Once this returns renderer is not called again; the ports stay and carry silence, so
  // whatever the user connected them to stays connected. Not on the process thread.
  void detachSound(AudioRenderer& renderer) noexcept;

  // What the server does to the client when it drops it (the shutdown callback's path, for a
  // server that lives on): the client opens anew on that server and the inputs follow it.
  // Not on the process thread.
  void dropped() noexcept;
  // The client of generation runs no cycles and its server told nothing: taken as gone, as
  // JACK on PipeWire never calls the shutdown callback when PipeWire dies. Not on the process
  // thread.
  void stalled(uint64_t generation) noexcept;

 private:
  // A MIDI input port of the client. The process callback reads reader, and port through it;
  // the rest is guarded by lock_.
  struct Slot {
    std::atomic<jack_port_t*> port{nullptr};  // registered once per JACK client, kept
    std::atomic<MidiReader*> reader{nullptr};
    std::atomic<int> busy{0};  // process callbacks reading the slot
    bool taken = false;
    bool connected = false;  // from source, on the JACK client of now
    std::string source;
  };
  // One JACK client of the object; its callbacks get it. Never freed: the JACK library may
  // call a client of a server that has gone until the next client opens.
  struct Link {
    ProcessClient* owner = nullptr;
    jack_client_t* jack = nullptr;
    std::atomic<bool> gone{false};     // shut down
    std::atomic<bool> dropped{false};  // by a server that lives on
  };

  explicit ProcessClient(std::string server) noexcept : server_(std::move(server)) {}
  // With lock_ held: a new JACK client, its ports registered and connected again as far as
  // their sources are there; false when no server answers.
  bool reopen();
  // With lock_ held: lets go of the JACK client of now, closing it only when its server lives.
  void leaveLink() noexcept;
  // With lock_ held: connects the taken slots not connected yet whose sources are there.
  void connectSlots() noexcept;
  // With lock_ held and a link: the sound output's ports on it, registered when missing.
  bool registerOutputs() noexcept;
  void joinPlaybackPorts() noexcept;
  // On the mender's thread: comes back to the server and reconnects the inputs, where needed;
  // whether there is more to do later.
  bool mend();
  // Takes a client that still runs off its server's graph.
  void close() noexcept;
  // At the end of the process: a client left open stays on the graph until the server notices
  // that its process is gone, and a server that waits for its clients waits for that one.
  static void closeAll() noexcept;
  // Runs mend for every client whenever one of them is lost, and every kRetry while one of
  // them has more to do.
  [[noreturn]] static void mendAll();
  static void wake() noexcept;
  // Guarded by lock_: whether JACK may still be asked anything on the client's behalf.
  bool usable() const noexcept { return !closed_ && link_ != nullptr && running(); }
  Attached takeSlot(std::size_t& slot);
  jack_port_t* registerPort(std::size_t slot) noexcept;
  static int process(jack_nframes_t frames, void* link) noexcept;
  void read(Slot& slot, jack_nframes_t frames, jack_nframes_t cycleStart) noexcept;
  void renderSound(jack_nframes_t frames, jack_nframes_t cycleStart) noexcept;
  static void shutdown(jack_status_t code, const char* reason, void* link) noexcept;
  static int rateChanged(jack_nframes_t rate, void* link) noexcept;
  static int periodChanged(jack_nframes_t frames, void* link) noexcept;

  const std::string server_;  // "" for the default one
  std::array<Slot, kInputs> slots_;
  std::atomic<uint64_t> count_{0};
  std::atomic<uint64_t> generation_{0};
  std::atomic<uint64_t> serversLost_{0};
  std::atomic<uint32_t> rate_{0};
  std::atomic<uint32_t> period_{0};
  std::atomic<uint32_t> cycleStart_{0};
  std::atomic<const Link*> live_{nullptr};  // the link that runs, whose callbacks read the slots
  std::atomic<pthread_t> thread_{};
  std::atomic<bool> threadKnown_{false};
  // The sound output: its ports on the JACK client of now, and who fills them.
  std::array<std::atomic<jack_port_t*>, 2> outputs_{};
  std::atomic<AudioRenderer*> renderer_{nullptr};
  std::atomic<int> rendering_{0};  // process callbacks in the renderer
  std::mutex lock_;                // every JACK call but the process callback's; never taken there
  Link* link_ = nullptr;
  std::vector<Link*> links_;  // every link, where the leak checker sees them
  bool withSound_ = false;    // once asked for, every new JACK client has the outputs
  bool closed_ = false;
};

}  // namespace varnkit::jack
