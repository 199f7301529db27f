#pragma once
// The MIDI input control: opens one input port and raises Message for every short message
// that arrives, MessageAt before it when the port tells the frame, then copies the message
// unchanged to a thru output if one is set.

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

#include "midi/MidiInEvents.h"
#include "platform/midi/MidiPorts.h"

class QPainter;
class QRect;

namespace varnkit::midictl {

class CMidi_INCtrl final : private midi::MidiInReceiver {
 public:
  // States of Status.
  static constexpr int32_t kClosed = 0;
  static constexpr int32_t kOpened = 1;
  static constexpr int32_t kReceiving = 2;

  explicit CMidi_INCtrl(midi::MidiPorts& ports = midi::systemMidiPorts());
  // Closes the input. Any thread, the MIDI thread inside Message included.
  ~CMidi_INCtrl();
  CMidi_INCtrl(const CMidi_INCtrl&) = delete;
  CMidi_INCtrl& operator=(const CMidi_INCtrl&) = delete;

  // Where Message and MessageAt go (null: nowhere). Any thread.
  void SetEventSink(MidiInEvents* sink) noexcept { sink_.store(sink, std::memory_order_release); }

  // 0 closed, 1 opened but not started, 2 receiving. Any thread.
  int32_t Status() const noexcept { return status_.load(); }
  // Stores the number only; nothing is opened or closed. Any thread.
  void Status(int32_t nval) noexcept;
  // The output handle every incoming message is copied to; 0: none. Any thread.
  int32_t HMidiThru() const noexcept { return thru_.load(); }
  // Takes effect from the next message on. Any thread.
  void HMidiThru(int32_t nval) noexcept;

  // Opens and starts input DeviceID, closing the input open before. 0 or the result code of
  // the step that failed. Any thread; on a MIDI thread it stalls that thread, and on the JACK
  // one a JACK port is refused (MMSYSERR_ERROR): opening it waits for that thread's cycles.
  int32_t InOpen(int32_t DeviceID);
  // Closes the input; always 0. Any thread, the MIDI thread inside Message included.
  int32_t InClose();
  // The number of input ports. Not on the MIDI thread (nor are InName and OnDraw).
  int32_t InCount();
  // The name of port DeviceID; for a number no port has, the last name found ("" before).
  // User-interface thread.
  std::string InName(int32_t DeviceID);

  // The face shown while the host designs a form: "IN" in blue on black. User-interface
  // thread.
  void OnDraw(QPainter& painter, const QRect& bounds) const;

  // Whether a property was written since the host last cleared the flag. Any thread.
  bool IsModified() const noexcept { return modified_.load(); }
  void SetModifiedFlag(bool modified = true) noexcept { modified_.store(modified); }

 private:
  void onMessage(uint32_t packed, std::optional<uint32_t> frame) noexcept override;
  void afterMessage(uint32_t packed) noexcept override;
  void closeDevice() noexcept;

  midi::MidiPorts& ports_;
  // The open input, owned; swapped atomically, so closing from the MIDI thread never waits
  // for a thread that is itself waiting for that MIDI thread.
  std::atomic<midi::MidiIn*> device_{nullptr};
  std::atomic<int32_t> status_{kClosed};
  std::atomic<int32_t> thru_{0};
  std::atomic<MidiInEvents*> sink_{nullptr};
  std::atomic<bool> modified_{false};
  std::string name_;  // the last name InName found
};

}  // namespace varnkit::midictl
