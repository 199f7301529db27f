// The system's MIDI ports: RtMidi's, but for JACK inputs, which the process reads itself.

#include <memory>

#include "platform/midi/HandleTable.h"
#include "platform/midi/InputCloser.h"
#include "platform/midi/InputPort.h"
#include "platform/midi/JackInputPort.h"
#include "platform/midi/MidiPorts.h"
#include "platform/midi/OutputPort.h"
#include "platform/midi/PortClaim.h"
#include "platform/midi/PortList.h"
#include "platform/midi/RtInputPort.h"

namespace varnkit::midi {
namespace {

// An input as its opener holds it.
class OpenInput final : public MidiIn {
 public:
  OpenInput(std::unique_ptr<InputPort> port, PortClaim claim)
      : port_(std::move(port)), claim_(std::move(claim)) {}
  ~OpenInput() override {
    closeInput(std::move(port_));
    claim_.release();
  }

  MMRESULT start() override {
    port_->start();
    return MMSYSERR_NOERROR;
  }

 private:
  std::unique_ptr<InputPort> port_;
  PortClaim claim_;
};

MMRESULT nameOf(Direction direction, uint32_t id, std::string& name) {
  const std::vector<PortRef> ports = listPorts(direction);
  if (id >= ports.size()) return MMSYSERR_BADDEVICEID;
  name = ports[id].name;
  return MMSYSERR_NOERROR;
}

class SystemPorts final : public MidiPorts {
 public:
  uint32_t inCount() override { return uint32_t(listPorts(Direction::In).size()); }
  MMRESULT inName(uint32_t id, std::string& name) override {
    return nameOf(Direction::In, id, name);
  }
  MMRESULT inOpen(uint32_t id, MidiInReceiver& receiver, std::unique_ptr<MidiIn>& input) override;

  uint32_t outCount() override { return uint32_t(listPorts(Direction::Out).size()); }
  MMRESULT outName(uint32_t id, std::string& name) override {
    return nameOf(Direction::Out, id, name);
  }
  MMRESULT outOpen(uint32_t id, HMIDIOUT& handle) override;
  MMRESULT outClose(HMIDIOUT handle) override { return outputs_.close(handle); }

  MMRESULT outShortMsg(HMIDIOUT handle, uint32_t packed, SendWait wait) noexcept override {
    auto port = outputs_.use(handle);
    return port ? port->sendShort(packed, wait) : MMSYSERR_INVALHANDLE;
  }
  MMRESULT outPrepareHeader(HMIDIOUT handle, MidiHeader& header) override;
  MMRESULT outLongMsg(HMIDIOUT handle, MidiHeader& header) override;
  MMRESULT outUnprepareHeader(HMIDIOUT handle, MidiHeader& header) override;

 private:
  HandleTable<OutputPort> outputs_;
};

MMRESULT SystemPorts::inOpen(uint32_t id, MidiInReceiver& receiver,
                             std::unique_ptr<MidiIn>& input) {
  const std::vector<PortRef> ports = listPorts(Direction::In);
  if (id >= ports.size()) return MMSYSERR_BADDEVICEID;
  PortClaim claim(Direction::In, ports[id]);
  if (!claim.held()) return MMSYSERR_ALLOCATED;
  prepareInputCloser();
  std::unique_ptr<InputPort> port;
  const MMRESULT result = ports[id].api == RtMidi::UNIX_JACK
                              ? JackInputPort::open(ports[id], receiver, port)
                              : RtInputPort::open(ports[id], receiver, port);
  if (result != MMSYSERR_NOERROR) return result;
  input = std::make_unique<OpenInput>(std::move(port), std::move(claim));
  return MMSYSERR_NOERROR;
}

MMRESULT SystemPorts::outOpen(uint32_t id, HMIDIOUT& handle) {
  const std::vector<PortRef> ports = listPorts(Direction::Out);
  if (id >= ports.size()) return MMSYSERR_BADDEVICEID;
  PortClaim claim(Direction::Out, ports[id]);
  if (!claim.held()) return MMSYSERR_ALLOCATED;
  std::unique_ptr<OutputPort> port;
  if (const MMRESULT result = OutputPort::open(ports[id], std::move(claim), port); result != 0)
    return result;
  return outputs_.add(std::move(port), handle);
}

MMRESULT SystemPorts::outPrepareHeader(HMIDIOUT handle, MidiHeader& header) {
  if (!outputs_.use(handle)) return MMSYSERR_INVALHANDLE;
  if (header.data == nullptr && header.bufferLength != 0) return MMSYSERR_INVALPARAM;
  header.flags = (header.flags | MHDR_PREPARED) & ~(MHDR_DONE | MHDR_INQUEUE);
  return MMSYSERR_NOERROR;
}

MMRESULT SystemPorts::outLongMsg(HMIDIOUT handle, MidiHeader& header) {
  auto port = outputs_.use(handle);
  if (!port) return MMSYSERR_INVALHANDLE;
  if ((header.flags & MHDR_PREPARED) == 0) return MIDIERR_UNPREPARED;
  if ((header.flags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  header.flags |= MHDR_INQUEUE;
  const MMRESULT result = port->sendBytes(header.data, header.bufferLength);
  header.flags = (header.flags & ~MHDR_INQUEUE) | MHDR_DONE;
  return result;
}

MMRESULT SystemPorts::outUnprepareHeader(HMIDIOUT handle, MidiHeader& header) {
  if (!outputs_.use(handle)) return MMSYSERR_INVALHANDLE;
  if ((header.flags & MHDR_INQUEUE) != 0) return MIDIERR_STILLPLAYING;
  header.flags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

}  // namespace

MidiPorts& systemMidiPorts() {
  // Never destroyed: MIDI threads may still send through it while the process exits.
  static SystemPorts* ports = new SystemPorts;
  return *ports;
}

}  // namespace varnkit::midi
