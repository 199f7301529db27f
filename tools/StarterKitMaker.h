#pragma once
// The kit "default" of a new installation: nine synthesised drums, so there is something to
// play at once.

#include <filesystem>
#include <string>

namespace varnkit::tools {

// Makes the kit "default" (default.txt and its sample folder) in folder, which must exist.
// False and why when it could not, or when folder holds a default kit already (in any letter
// case): that one is never replaced. No sound device is needed. User-interface thread, before
// the window makes its own kit state.
bool MakeStarterKit(const std::filesystem::path& folder, std::string& why);

}  // namespace varnkit::tools
