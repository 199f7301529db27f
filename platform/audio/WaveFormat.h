#pragma once
// The wave format record (WAVEFORMATEX) and the decoded contents of a sample file.

#include <cstdint>
#include <vector>

#include "engine/Sample.h"

namespace varnkit::audio {

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 3;

struct WaveFormat {
  uint16_t formatTag = 0;
  uint16_t channels = 0;
  uint32_t samplesPerSec = 0;
  uint32_t avgBytesPerSec = 0;
  uint16_t blockAlign = 0;
  uint16_t bitsPerSample = 0;
  uint16_t cbSize = 0;

  bool operator==(const WaveFormat&) const = default;
};

// A whole sample in memory at the device's rate, as the engine plays it.
using SampleData = engine::Sample;

}  // namespace varnkit::audio
