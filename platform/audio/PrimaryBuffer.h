#pragma once
// The device's primary buffer: it holds the format the device mixes at.

#include <cstdint>
#include <memory>

#include "platform/audio/Result.h"
#include "platform/audio/WaveFormat.h"

namespace varnkit::audio {

inline constexpr uint32_t DSSCL_NORMAL = 1;
inline constexpr uint32_t DSSCL_PRIORITY = 2;
inline constexpr uint32_t DSSCL_EXCLUSIVE = 3;
inline constexpr uint32_t DSSCL_WRITEPRIMARY = 4;

// The co-operative level a program has asked for on a device, shared with its primary buffer.
struct CooperativeLevel {
  uint32_t window = 0;
  uint32_t level = 0;
};

// All members: user-interface thread.
class PrimaryBuffer {
 public:
  explicit PrimaryBuffer(std::shared_ptr<const CooperativeLevel> coop) : coop_(std::move(coop)) {}

  // Takes a PCM format (1 or 2 channels, 8 or 16 bits, 100 to 200000 Hz, consistent block
  // alignment and byte rate); needs priority access. The engine itself keeps running in float
  // at the device's rate: the format is what the program asked for, read back as given.
  DsResult SetFormat(const WaveFormat& format);
  DsResult GetFormat(WaveFormat& format) const;

 private:
  std::shared_ptr<const CooperativeLevel> coop_;
  WaveFormat format_{WAVE_FORMAT_PCM, 2, 22050, 88200, 4, 16, 0};
};

}  // namespace varnkit::audio
