#pragma once
// The main window's view of its MIDI input control: the members it calls. The control itself
// lives in the Midi module and is reached through the component runtime.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace varnkit::ui {

class MidiInput {
 public:
  virtual ~MidiInput() = default;
  // The number of MIDI input devices. User-interface thread.
  virtual int32_t InCount() = 0;
  // The name of device DeviceID (0 to InCount() - 1). User-interface thread.
  virtual std::string InName(int32_t DeviceID) = 0;
  // Opens and starts device DeviceID, closing any open one; 0 on success. User-interface thread.
  virtual int32_t InOpen(int32_t DeviceID) = 0;
  // Closes the open device, if any. User-interface thread.
  virtual int32_t InClose() = 0;
};

// Where the control's Message events go. Called on the MIDI thread: must not block, lock or
// allocate.
class MidiMessageSink {
 public:
  virtual ~MidiMessageSink() = default;
  virtual void Message(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept = 0;
  // The same message with the frame of the sound device's clock it came in at, when the
  // input knows it; raised just before Message for that message.
  // A sink that has no use for the frame leaves it.
  virtual void MessageAt(int32_t /*Msg*/, int16_t /*Channel*/, int16_t /*Data1*/, int16_t /*Data2*/,
                         uint32_t /*Frame*/) noexcept {}
};

// Makes the window's input control, raising its events into sink; on failure returns null and
// says why in error.
using MidiInputFactory =
    std::function<std::unique_ptr<MidiInput>(MidiMessageSink& sink, std::string& error)>;

}  // namespace varnkit::ui
