#pragma once
// An open output port over RtMidi. Sends from any thread, one at a time; a send never hangs:
// on JACK it writes only what surely fits, and gives up when the server stops taking it.

#include <atomic>
#include <chrono>
#include <memory>

#include "platform/jack/ProcessClient.h"
#include "platform/midi/PortClaim.h"
#include "platform/midi/SendBudget.h"
#include "platform/midi/ShortMessage.h"

namespace varnkit::midi {

class OutputPort {
 public:
  // How long a send may wait for room before it gives up.
  static constexpr std::chrono::milliseconds kSendWait{1000};

  // Opens port, held under claim. Not on a MIDI thread.
  static MMRESULT open(const PortRef& port, PortClaim claim, std::unique_ptr<OutputPort>& opened);
  ~OutputPort();
  OutputPort(const OutputPort&) = delete;
  OutputPort& operator=(const OutputPort&) = delete;

  // Sends a packed short message. Any thread; see SendWait.
  MMRESULT sendShort(uint32_t packed, SendWait wait) noexcept;
  // Sends size bytes as one message, as they are. Any thread but a MIDI one.
  MMRESULT sendBytes(const uint8_t* bytes, std::size_t size) noexcept;
  // The longest message the port takes.
  std::size_t longest() const noexcept;

 private:
  OutputPort() = default;
  template <class Put>
  MMRESULT whileHeld(SendWait wait, Put put) noexcept;
  MMRESULT put(const uint8_t* bytes, std::size_t size) noexcept;
  // JACK ports: the server the port's RtMidi client is on went away (or, for all one knows,
  // may have: the process's MIDI client is off it).
  bool serverGone() const noexcept {
    return !cycles_->running() || cycles_->serversLost() != serversLost_;
  }

  RtErrorTrap trap_;
  std::unique_ptr<RtMidiOut> rt_;
  jack::ProcessClient* cycles_ = nullptr;  // JACK ports only
  uint64_t serversLost_ = 0;               // as cycles_ counted them when the port opened
  PortClaim claim_;
  std::atomic_flag sending_;
  // Guarded by sending_:
  SendBudget budget_;
  ShortMessageWriter writer_;
  uint64_t stalledAt_ = UINT64_MAX;  // the cycle a send last gave up waiting in
};

}  // namespace varnkit::midi
