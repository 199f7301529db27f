#include "platform/files/UserFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace varnkit::files {
namespace {

// A relative base folder would move with the working folder; the XDG rules say to ignore it.
std::string baseFolder(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return value;
  const std::string home = HomeFolder();
  return (home == "/" ? "" : home) + fallbackBelowHome;
}

}  // namespace

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
    return user->pw_dir;
  return "/";
}

std::string UserDataFolder() {
  return baseFolder("XDG_DATA_HOME", "/.local/share") + "/VarnKit";
}

std::string UserConfigFolder() {
  return baseFolder("XDG_CONFIG_HOME", "/.config") + "/VarnKit";
}

std::string KitFolderFor(const std::string& programFolder) {
  const std::string name = programFolder.substr(programFolder.rfind('/') + 1);
  return name == "bin" ? UserDataFolder() : programFolder;
}

}  // namespace varnkit::files
