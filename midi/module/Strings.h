#pragma once
// The module's string table: the classes' type names and the property pages' captions.

#include <cstdint>

namespace varnkit::midictl {

inline constexpr char kInControlName[] = "Midi_IN Control";       // string 1
inline constexpr char kInPageName[] = "Midi_IN Property Page";    // string 2
inline constexpr char kOutControlName[] = "Midi_OUT Control";     // string 3
inline constexpr char kOutPageName[] = "Midi_OUT Property Page";  // string 4
inline constexpr uint32_t kInPageCaptionId = 200;                 // "General"
inline constexpr uint32_t kOutPageCaptionId = 201;                // "General"

}  // namespace varnkit::midictl
