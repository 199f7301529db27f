#pragma once
// Where VarnKit keeps a user's kits, and what its first start sets up by itself.
// All functions: user-interface thread, before the window is made.

#include <string>

namespace varnkit::app {

// Makes folder when it is not there and, when it has no default.txt in any letter case, the
// starter kit in it.
// False and why when either failed; the program still starts, with what there is.
bool PrepareKitFolder(const std::string& folder, std::string& why);

}  // namespace varnkit::app
