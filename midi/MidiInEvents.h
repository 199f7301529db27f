#pragma once
// The events of the MIDI input control, as the host receives them.

#include <cstdint>

#include "midi/MTyp.h"

namespace varnkit::midictl {

class MidiInEvents {
 public:
  virtual ~MidiInEvents() = default;
  // One short message arrived. Raised on the MIDI thread (inside the JACK cycle on JACK): a
  // handler must neither block nor take long, and must not wait for a thread that is closing
  // the control, since closing waits for the handler.
  virtual void Message(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept = 0;
  // The same message with the JACK frame it arrived at (the server's frame clock, its 32 bits
  // as they are), raised just before its Message on the same thread; only for messages from
  // JACK ports. The same rules hold for its handler.
  virtual void MessageAt(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2,
                         int32_t Frame) noexcept = 0;
};

}  // namespace varnkit::midictl
