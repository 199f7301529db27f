#pragma once
// The MIDI output control: opens one output port and sends short and system-exclusive
// messages to it. Its handle can serve an input control as thru output.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/midi/MidiPorts.h"

class QPainter;
class QRect;

namespace varnkit::midictl {

// All members: the caller's thread, one at a time; the handle may be used by an input
// control on its MIDI thread meanwhile.
class CMidi_OUTCtrl {
 public:
  static constexpr int32_t kClosed = 0;
  static constexpr int32_t kOpen = 1;

  explicit CMidi_OUTCtrl(midi::MidiPorts& ports = midi::systemMidiPorts());
  // Closes the output.
  ~CMidi_OUTCtrl();
  CMidi_OUTCtrl(const CMidi_OUTCtrl&) = delete;
  CMidi_OUTCtrl& operator=(const CMidi_OUTCtrl&) = delete;

  // 0 closed, 1 open.
  int32_t Status() const noexcept { return status_; }
  // Stores the number only; nothing is opened or closed.
  void Status(int32_t nval) noexcept;
  // The open output's handle; 0 before any open and after OutClose.
  int32_t HMidi() const noexcept { return int32_t(handle_); }
  // Writes are accepted and ignored.
  void HMidi(int32_t /*nval*/) noexcept {}

  // Opens output DeviceID: 0 or the system's code, with the state left as it was. An output
  // this control had open is closed once the new one is open.
  int32_t OutOpen(int32_t DeviceID);
  // Closes the output; always 0.
  int32_t OutClose();
  // The number of output ports.
  int32_t OutCount();
  // The name of port DeviceID; for a number no port has, the last name found ("" before).
  std::string OutName(int32_t DeviceID);
  // Sends status (Msg + Channel) mod 256 with Data1 and Data2; the port's result code.
  int32_t SendMidi(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2);
  // Sends the first Len bytes of Data (all of it when Len is larger) as one long message, as
  // they are: the caller includes 0xF0 and 0xF7. 0 or the first failing step's code.
  int32_t SendSysEx(const std::string& Data, int32_t Len);

  // The face shown while the host designs a form: "OUT" in blue on black.
  void OnDraw(QPainter& painter, const QRect& bounds) const;

  bool IsModified() const noexcept { return modified_; }
  void SetModifiedFlag(bool modified = true) noexcept { modified_ = modified; }

 private:
  midi::MidiPorts& ports_;
  midi::HMIDIOUT handle_ = 0;
  int32_t status_ = kClosed;
  bool modified_ = false;
  std::string name_;  // the last name OutName found
  // Holds one system-exclusive message and a closing zero while it is sent; grows for
  // messages longer than 255 bytes.
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(256);
};

}  // namespace varnkit::midictl
