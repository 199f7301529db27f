#pragma once
// Kinds of MIDI message: status bytes with the channel cleared.

#include <cstdint>

namespace varnkit::midictl {

// Message carries other kinds too (160 polyphonic key pressure, 240 system messages);
// these are the ones with names.
enum MTyp : int32_t {
  Note_On = 144,
  Note_Off = 128,
  X_Control = 176,
  X_Programm = 192,
  X_PitchWheel = 224,
  X_ChannelPressure = 208,
};

}  // namespace varnkit::midictl
