#pragma once
// The Midi module that came with the program, registered by the program itself when the
// user's registry lacks it. All functions: user-interface thread.

#include <string>

#include "platform/com/Guid.h"

namespace varnkit::app {

// The Midi module that came with the program in programFolder: installed under the library
// folder beside "bin", or built in the build tree beside the program's folder. "" when there
// is none.
std::string OwnMidiModule(const std::string& programFolder);

// Registers module for this user when class clsid is not registered, or is registered to a
// module file that is no longer there. True when the class names an existing module after it.
bool RegisterWhenMissing(const com::CLSID& clsid, const std::string& module, std::string& why);

}  // namespace varnkit::app
