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
  if (files::FileExists(folder + "/default.txt")) return true;
  return tools::MakeStarterKit(folder, why);
}

}  // namespace varnkit::app
