#pragma once
// This module's own file.

#include <string>

namespace varnkit::midictl {

// The absolute path of the module file; "" when it cannot be told.
std::string modulePath();

// Keeps the module loaded for the rest of the process. Once an input has been opened, the
// MIDI services keep a thread of their own that runs the module's code; unloading the module
// would pull that code from under it.
void pinModule() noexcept;

}  // namespace varnkit::midictl
