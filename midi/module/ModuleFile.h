#pragma once
// This module's own file.

#include <string>

namespace varnkit::midictl {

// The absolute path of the module file; "" when it cannot be told.
std::string modulePath();

// Keeps the module loaded for the rest of the process. Once the ports have been looked at or
// opened, the MIDI services keep threads of their own that run the module's code (the JACK
// client kept for the run, the input closer); unloading the module would pull that code from
// under them.
void pinModule() noexcept;

}  // namespace varnkit::midictl
