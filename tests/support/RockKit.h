#pragma once
// A kit file written by a test for hosts with no window: a kick with two velocity layers
// (0.25 up to 79, 0.5 from 80), a snare (0.375), and two hi-hats (0.125, 0.1875) in mute
// group 1, on notes 36, 38, 42 and 46. Every sample holds one level for kRockFrames at 44100,
// so where a sound starts and how loud it is can be read off any render exactly.

#include <cstdint>
#include <filesystem>
#include <string>

namespace varnkit::testing {

inline constexpr uint64_t kRockFrames = 4410;

// Writes name.txt beside its folder name/ into dir, every level times scale; the open hat's
// sample then falls silent for openSilence frames. The kit file's path.
std::filesystem::path writeRockKit(const std::filesystem::path& dir, const std::string& name,
                                   float scale = 1.0f, uint64_t openSilence = 0);

}  // namespace varnkit::testing
