#include "platform/midi/JackInputPort.h"

#include <chrono>

namespace varnkit::midi {

MMRESULT JackInputPort::open(const PortRef& port, MidiInReceiver& receiver,
                             std::unique_ptr<InputPort>& opened) {
  JackMidiClient* client = JackMidiClient::get();
  if (client == nullptr) return MMSYSERR_NODRIVER;
  // Connecting there would stall the cycle, and waiting for the next one never ends.
  if (client->onProcessThread()) return MMSYSERR_ERROR;
  std::unique_ptr<JackInputPort> in(new JackInputPort(receiver, *client));
  if (const MMRESULT result = client->attach(port.name, *in, in->slot_); result != 0) return result;
  // The server takes up a new connection at the start of a cycle: until it has, nothing
  // arrives. Opened means ready to receive, unless the server stands still.
  client->waitCycles(JackMidiClient::kCyclesToConnect, std::chrono::seconds(1));
  opened = std::move(in);
  return MMSYSERR_NOERROR;
}

JackInputPort::~JackInputPort() {
  if (slot_ < JackMidiClient::kInputs) client_.detach(slot_);
}

}  // namespace varnkit::midi
