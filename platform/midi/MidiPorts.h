#pragma once
// The MIDI services: input and output ports numbered from 0, opened by number, with the
// multimedia services' result codes instead of exceptions.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/midi/Result.h"

namespace varnkit::midi {

// What an open input hands its short messages to. Both members run on the port's own
// thread, one message at a time; neither may block, since closing waits for them.
class MidiInReceiver {
 public:
  // A short message packed status | data1 << 8 | data2 << 16; bytes the message does not
  // have are 0. From a JACK port it comes with the frame it arrived at, on the server's frame
  // clock (jack_last_frame_time of its cycle plus its offset there, wrapping at 2^32); other
  // ports give none.
  virtual void onMessage(uint32_t packed, std::optional<uint32_t> frame) noexcept = 0;
  // Follows onMessage for the same message unless the input was closed meanwhile, by
  // onMessage itself for instance; whatever must not run after a close belongs here.
  virtual void afterMessage(uint32_t packed) noexcept = 0;

 protected:
  ~MidiInReceiver() = default;
};

// An open input port. Destroying it closes the device: from any other thread the
// destructor returns once no call into the receiver is running or can start; on the port's
// own thread (inside onMessage) the receiver is not called again, and the device is closed
// on another thread as soon as that call has returned.
class MidiIn {
 public:
  virtual ~MidiIn() = default;
  // Starts handing messages to the receiver; until then they are dropped. Any thread.
  virtual MMRESULT start() = 0;
};

class MidiPorts {
 public:
  virtual ~MidiPorts() = default;

  // The number of input ports present now. Not on a port's own thread (all members but the
  // sends below are alike in that).
  virtual uint32_t inCount() = 0;
  // The name of input id; name is left as it was when the id names no port.
  virtual MMRESULT inName(uint32_t id, std::string& name) = 0;
  // Opens input id for receiver; input holds the port on success. The receiver must outlive
  // the port.
  virtual MMRESULT inOpen(uint32_t id, MidiInReceiver& receiver,
                          std::unique_ptr<MidiIn>& input) = 0;

  // The number of output ports present now.
  virtual uint32_t outCount() = 0;
  // The name of output id; name is left as it was when the id names no port.
  virtual MMRESULT outName(uint32_t id, std::string& name) = 0;
  // Opens output id; handle receives its number on success.
  virtual MMRESULT outOpen(uint32_t id, HMIDIOUT& handle) = 0;
  // Closes the output once no send on it is running. Any thread.
  virtual MMRESULT outClose(HMIDIOUT handle) = 0;

  // Sends one short message packed as an input delivers it; a status byte below 0x80 reuses
  // the port's running status. Any thread; with SendWait::Never also an input's own thread,
  // where it neither waits nor allocates.
  virtual MMRESULT outShortMsg(HMIDIOUT handle, uint32_t packed, SendWait wait) noexcept = 0;
  // Marks a long message ready for the port. Any thread.
  virtual MMRESULT outPrepareHeader(HMIDIOUT handle, MidiHeader& header) = 0;
  // Sends a prepared long message as it stands. The port has its own copy when this
  // returns, so the header is then done and its data free. Any thread.
  virtual MMRESULT outLongMsg(HMIDIOUT handle, MidiHeader& header) = 0;
  // Releases a header the port is done with. Any thread.
  virtual MMRESULT outUnprepareHeader(HMIDIOUT handle, MidiHeader& header) = 0;
};

// The system's ports: ALSA sequencer ports over RtMidi first, then JACK ports. JACK inputs are
// read on the process's one JACK client (see platform/jack/ProcessClient.h), JACK outputs over
// RtMidi.
MidiPorts& systemMidiPorts();

}  // namespace varnkit::midi
