#pragma once
// The RtMidi side of an open input port. It lives until RtMidi has stopped calling it, which
// may be after its opener let go of it (see InputCloser.h).

#include <pthread.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/midi/MidiPorts.h"
#include "platform/midi/PortList.h"

namespace varnkit::midi {

class JackCycles;

class InputPort {
 public:
  // Opens port for receiver. Not on an input's own thread.
  static MMRESULT open(const PortRef& port, MidiInReceiver& receiver,
                       std::unique_ptr<InputPort>& opened);
  // Closes the RtMidi port: its thread has ended when this returns. Never on that thread.
  ~InputPort();
  InputPort(const InputPort&) = delete;
  InputPort& operator=(const InputPort&) = delete;

  // Lets messages through to the receiver. Any thread.
  void start() noexcept { started_.store(true, std::memory_order_release); }
  // Keeps calls into the receiver from starting. Any thread.
  void detach() noexcept { attached_.store(false); }
  // True on the thread RtMidi calls this port on.
  bool onOwnThread() const noexcept;
  // Returns once no call into the receiver is running. Never on the port's own thread.
  void waitIdle() const noexcept;

  // Link of the closer's list of ports waiting to be closed.
  InputPort* nextToClose = nullptr;

 private:
  explicit InputPort(MidiInReceiver& receiver) : receiver_(receiver) {}
  static void received(double stamp, std::vector<unsigned char>* message, void* self) noexcept;
  void deliver(const std::vector<unsigned char>& message) noexcept;

  MidiInReceiver& receiver_;
  RtErrorTrap trap_;
  std::unique_ptr<RtMidiIn> rt_;
  std::shared_ptr<JackCycles> server_;  // JACK ports: tells whether their server has gone
  std::atomic<bool> started_{false};
  std::atomic<bool> attached_{true};
  std::atomic<int> busy_{0};
  std::atomic<pthread_t> thread_{};
  std::atomic<bool> threadKnown_{false};
};

}  // namespace varnkit::midi
