#pragma once
// What may still sit in RtMidi's JACK ring buffer. RtMidi spins without end when a message
// does not fit, so a port writes only what surely fits: it counts what it wrote since the
// server last surely emptied the buffer. RtMidi's JACK port empties it whole on every cycle;
// a write is surely gone once the server has begun the third cycle after the one it was made
// in (the port may already be past its read in the cycle the write saw).

#include <cstddef>
#include <cstdint>

namespace varnkit::midi {

class SendBudget {
 public:
  // RtMidi's ring buffer holds 16384 bytes, of which one stays free; each message takes its
  // bytes and a 4-byte length.
  static constexpr std::size_t kRingBytes = 16383;
  static constexpr std::size_t kPerMessage = 4;
  static constexpr std::uint64_t kCyclesToDrain = 3;

  // True when a message of size bytes fits at server cycle now.
  bool fits(std::size_t size, std::uint64_t now) noexcept {
    if (pending_ != 0 && now >= lastWrite_ + kCyclesToDrain) pending_ = 0;
    return pending_ + size + kPerMessage <= kRingBytes;
  }
  // Counts a message of size bytes written at server cycle now.
  void wrote(std::size_t size, std::uint64_t now) noexcept {
    pending_ += size + kPerMessage;
    lastWrite_ = now;
  }
  // The cycle from which on everything written so far is surely gone.
  std::uint64_t drainedAt() const noexcept {
    return pending_ == 0 ? 0 : lastWrite_ + kCyclesToDrain;
  }
  // The longest message RtMidi takes at all.
  static constexpr std::size_t longest() { return kRingBytes - kPerMessage; }

 private:
  std::size_t pending_ = 0;
  std::uint64_t lastWrite_ = 0;
};

}  // namespace varnkit::midi
