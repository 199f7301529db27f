#include "platform/midi/JackInputPort.h"

#include <chrono>

namespace varnkit::midi {

MMRESULT JackInputPort::open(const PortRef& port, MidiInReceiver& receiver,
                             std::unique_ptr<InputPort>& opened) {
  jack::ProcessClient* client = jack::ProcessClient::get();
  if (client == nullptr) return MMSYSERR_NODRIVER;
  // Connecting there would stall the cycle, and waiting for the next one never ends.
  if (client->onProcessThread()) return MMSYSERR_ERROR;
  std::unique_ptr<JackInputPort> in(new JackInputPort(receiver, *client));
  switch (client->attach(port.name, *in, in->slot_)) {
    case jack::Attached::Ok:
      break;
    case jack::Attached::NoServer:
      return MMSYSERR_NODRIVER;
    case jack::Attached::NoSource:
      return MMSYSERR_BADDEVICEID;
    case jack::Attached::NoRoom:
      return MMSYSERR_NOMEM;
    case jack::Attached::Failed:
      return MMSYSERR_ERROR;
  }
  // The server takes up a new connection at the start of a cycle: until it has, nothing
  // arrives. Opened means ready to receive, unless the server stands still.
  client->waitCycles(jack::ProcessClient::kCyclesToConnect, std::chrono::seconds(1));
  opened = std::move(in);
  return MMSYSERR_NOERROR;
}

JackInputPort::~JackInputPort() {
  if (slot_ < jack::ProcessClient::kInputs) client_.detach(slot_);
}

}  // namespace varnkit::midi
