#include "app/Installation.h"

#include <filesystem>
#include <system_error>

#include "platform/files/Lookup.h"
#include "tools/StarterKitMaker.h"

namespace varnkit::app {
namespace {

namespace fs = std::filesystem;

}  // namespace

bool PrepareKitFolder(const std::string& folder, std::string& why) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    why = "cannot make the kit folder " + folder + ": " + ec.message();
    return false;
  }
  // A default kit copied from a system that ignores letter case may be DEFAULT.TXT.
  if (!files::FileIgnoringCase(folder, "default.txt").empty()) return true;
  return tools::MakeStarterKit(folder, why);
}

}  // namespace varnkit::app
