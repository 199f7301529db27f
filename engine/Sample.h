#pragma once
// A whole sample in memory, decoded and at the engine's rate.

#include <cstdint>
#include <vector>

namespace varnkit::engine {

// Interleaved floats, one or two channels; frames * channels samples.
struct Sample {
  std::vector<float> samples;
  uint32_t channels = 0;
  uint64_t frames = 0;
};

}  // namespace varnkit::engine
