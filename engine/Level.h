#pragma once
// The level law: how loud a velocity plays.

#include <cstdint>

namespace varnkit::engine {

// The level of velocity v in hundredths of a decibel: -4000 at 0 up to 0 at 127, rounded
// down; a velocity past 127 comes out above 0. Any thread.
int32_t levelOfVelocity(int32_t v) noexcept;

// The gain a level in hundredths of a decibel stands for: 10^(level/2000). Any thread.
float gainOfLevel(int32_t level) noexcept;

}  // namespace varnkit::engine
