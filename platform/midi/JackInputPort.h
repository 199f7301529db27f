#pragma once
// An input port read on the process's own JACK client: each message comes with the frame it
// arrived at.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/jack/ProcessClient.h"
#include "platform/midi/InputPort.h"
#include "platform/midi/PortList.h"

namespace varnkit::midi {

class JackInputPort final : public InputPort, private jack::MidiReader {
 public:
  // Connects the JACK port named port.name to a port of the client's own, for receiver;
  // returns once the connection is in force, or the server ran no cycles for a second. Not
  // on a MIDI thread.
  static MMRESULT open(const PortRef& port, MidiInReceiver& receiver,
                       std::unique_ptr<InputPort>& opened);
  // Disconnects and frees the client's port. Never on the client's process thread.
  ~JackInputPort() override;

  // True on the client's process thread. Any thread.
  bool onOwnThread() const noexcept override { return client_.onProcessThread(); }
  // Returns once no call into the receiver is running. Never on the process thread.
  void waitIdle() const noexcept override { client_.waitIdle(slot_); }

 private:
  JackInputPort(MidiInReceiver& receiver, jack::ProcessClient& client) noexcept
      : InputPort(receiver), client_(client) {}
  void received(const uint8_t* bytes, std::size_t size, uint32_t frame) noexcept override {
    deliver(bytes, size, frame);
  }

  jack::ProcessClient& client_;
  std::size_t slot_ = jack::ProcessClient::kInputs;  // none until attached
};

}  // namespace varnkit::midi
