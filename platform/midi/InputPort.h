#pragma once
// An open input port as its opener and the closer see it, whichever service feeds it. It
// lives until that service has stopped calling it, which may be after its opener let go of
// it (see InputCloser.h).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/midi/MidiPorts.h"

namespace varnkit::midi {

class InputPort {
 public:
  // Closes the port: its service calls it no more. Never on the port's own thread.
  virtual ~InputPort() = default;
  InputPort(const InputPort&) = delete;
  InputPort& operator=(const InputPort&) = delete;

  // Lets messages through to the receiver. Any thread.
  void start() noexcept { started_.store(true, std::memory_order_release); }
  // Keeps calls into the receiver from starting. Any thread.
  void detach() noexcept { attached_.store(false); }
  // True on the thread the service calls this port on. Any thread.
  virtual bool onOwnThread() const noexcept = 0;
  // Returns once no call into the receiver is running. Never on the port's own thread.
  virtual void waitIdle() const noexcept = 0;

  // Link of the closer's list of ports waiting to be closed.
  InputPort* nextToClose = nullptr;

 protected:
  explicit InputPort(MidiInReceiver& receiver) noexcept : receiver_(receiver) {}
  // Hands what the service received to the receiver, if it is a short message and the port
  // is started and attached. On the port's own thread, while the port counts itself busy.
  void deliver(const uint8_t* bytes, std::size_t size, std::optional<uint32_t> frame) noexcept;

 private:
  MidiInReceiver& receiver_;
  std::atomic<bool> started_{false};
  std::atomic<bool> attached_{true};
};

}  // namespace varnkit::midi
