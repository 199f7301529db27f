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
};

}  // namespace varnkit::midictl
