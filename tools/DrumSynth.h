#pragma once
// Drum sounds made from oscillators and noise, for the starter kit.

#include <cstdint>
#include <vector>

namespace varnkit::tools {

inline constexpr uint32_t kSynthRate = 44100;

// Mono samples, -1..1, at kSynthRate; strength 0..1 shapes brightness as well as level, the
// way a harder hit sounds brighter, not only louder.
std::vector<float> kick(float strength);
std::vector<float> snare(float strength);
std::vector<float> hihat(bool open, float strength);
std::vector<float> tom(float pitchHz, float strength);
std::vector<float> crash(float strength);
std::vector<float> ride(float strength);

}  // namespace varnkit::tools
