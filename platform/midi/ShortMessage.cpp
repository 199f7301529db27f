#include "platform/midi/ShortMessage.h"

namespace varnkit::midi {

std::size_t shortMessageLength(uint8_t status) noexcept {
  if (status < 0x80) return 0;
  if (status < 0xC0 || (status >= 0xE0 && status < 0xF0)) return 3;
  if (status < 0xE0) return 2;
  switch (status) {
    case 0xF0:
    case 0xF7:
      return 0;
    case 0xF1:
    case 0xF3:
      return 2;
    case 0xF2:
      return 3;
    default:
      return 1;  // tune request, real-time messages and the undefined ones
  }
}

bool packReceived(const uint8_t* bytes, std::size_t size, uint32_t& packed) noexcept {
  if (size == 0) return false;
  const std::size_t length = shortMessageLength(bytes[0]);
  if (length == 0) return false;
  packed = 0;
  for (std::size_t i = 0; i < length && i < size; ++i) packed |= uint32_t(bytes[i]) << (8 * i);
  return true;
}

std::size_t ShortMessageWriter::bytesFor(uint32_t packed, uint8_t (&out)[3]) const noexcept {
  const auto first = uint8_t(packed & 0xFF);
  if (first >= 0x80) {
    const std::size_t length = shortMessageLength(first);
    for (std::size_t i = 0; i < length; ++i) out[i] = uint8_t(packed >> (8 * i));
    return length;
  }
  if (running_ == 0) return 0;
  out[0] = running_;
  const std::size_t length = shortMessageLength(running_);
  for (std::size_t i = 1; i < length; ++i) out[i] = uint8_t(packed >> (8 * (i - 1)));
  return length;
}

void ShortMessageWriter::sent(uint8_t status) noexcept {
  if (status >= 0x80 && status < 0xF0) {
    running_ = status;
  } else if (status >= 0xF0 && status < 0xF8) {
    running_ = 0;  // system common messages cancel running status; real-time ones do not
  }
}

}  // namespace varnkit::midi
