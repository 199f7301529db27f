#pragma once
// Short MIDI messages as bytes on a port and as the packed number the services hand around:
// status | data1 << 8 | data2 << 16.

#include <cstddef>
#include <cstdint>

namespace varnkit::midi {

// The bytes of the short message that starts with status, the status included; 0 for
// system-exclusive start and end (0xF0, 0xF7), which are no short messages.
std::size_t shortMessageLength(uint8_t status) noexcept;

// Packs a message a port received. False for what is no short message: nothing, a first
// byte that is no status, system-exclusive data. Bytes past the message's length are not
// taken; bytes the message lacks are 0.
bool packReceived(const uint8_t* bytes, std::size_t size, uint32_t& packed) noexcept;

// The bytes to put on a port for a packed message, with the port's running status: a first
// byte below 0x80 continues the last channel message's status. Returns their number, 0 when
// the message cannot be sent (no running status, or system-exclusive).
class ShortMessageWriter {
 public:
  std::size_t bytesFor(uint32_t packed, uint8_t (&out)[3]) const noexcept;
  // Records that the bytes of a message starting with status went out.
  void sent(uint8_t status) noexcept;

 private:
  uint8_t running_ = 0;
};

}  // namespace varnkit::midi
