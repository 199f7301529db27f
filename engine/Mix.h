#pragma once
// The inner loops of mixing, kept apart so they can be tuned and measured on their own.

#include <cstddef>
#include <cstdint>

#include "engine/Sample.h"

namespace varnkit::engine {

// Adds n frames of s from frame `from` at gain g + step*(i+1) into stereo out; a mono sample
// goes to both sides. A ramp (step not 0) is shorter than 2^31 frames, as every fade is. Render
// thread.
void addFrames(const Sample& s, uint64_t from, uint32_t n, float g, float step,
               float* out) noexcept;

// Clips n samples to -1..1 in place. Render thread.
void clip(float* out, std::size_t n) noexcept;

}  // namespace varnkit::engine
