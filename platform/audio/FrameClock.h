#pragma once
// A device's frame clock: which cycle of the output's own timeline is under way, so that a
// sound asked for during one cycle can start a fixed number of cycles later, however long the
// request takes to reach the engine.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace varnkit::audio {

class FrameClock {
 public:
  virtual ~FrameClock() = default;
  // Any thread, real-time safe: the first frame of the device cycle under way; inside the
  // device's callback, the first frame of the block being rendered. Wraps at 2^32 frames.
  virtual uint32_t cycleStart() const noexcept = 0;
  // Any thread: frames per device cycle.
  virtual uint32_t period() const noexcept = 0;
  // Any thread: the frame at which a note arriving now sounds, a fixed delay after its
  // arrival, for a device that knows when its cycles run; none where the device cannot say.
  virtual std::optional<uint32_t> frameForArrivalNow() const noexcept { return std::nullopt; }
};

}  // namespace varnkit::audio
