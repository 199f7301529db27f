#pragma once
// A packed short message as the input control reports it.

#include <cstdint>

#include "midi/MTyp.h"

namespace varnkit::midictl {

struct DecodedMessage {
  MTyp Msg;
  int16_t Channel;
  int16_t Data1;
  int16_t Data2;
};

// Splits status | data1 << 8 | data2 << 16 into kind, channel and data bytes; a note on with
// velocity 0 is a note off.
inline DecodedMessage decodeMessage(uint32_t packed) noexcept {
  const uint32_t status = packed & 0xFF;
  const auto data1 = int16_t((packed >> 8) & 0xFF);
  const auto data2 = int16_t((packed >> 16) & 0xFF);
  auto kind = MTyp(status & 0xF0);
  if (kind == Note_On && data2 == 0) kind = Note_Off;
  return {kind, int16_t(status & 0x0F), data1, data2};
}

}  // namespace varnkit::midictl
