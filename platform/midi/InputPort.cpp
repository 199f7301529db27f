#include "platform/midi/InputPort.h"

#include "platform/midi/ShortMessage.h"

namespace varnkit::midi {

void InputPort::deliver(const uint8_t* bytes, std::size_t size,
                        std::optional<uint32_t> frame) noexcept {
  // The caller counted itself busy before this load, so that a closer that detaches and then
  // finds the port idle knows this call will not reach the receiver.
  if (!attached_.load() || !started_.load(std::memory_order_acquire)) return;
  uint32_t packed = 0;
  if (!packReceived(bytes, size, packed)) return;
  receiver_.onMessage(packed, frame);
  if (attached_.load()) receiver_.afterMessage(packed);
}

}  // namespace varnkit::midi
