#include "app/OwnModule.h"

#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/com/ClassRegistry.h"
#include "platform/com/Module.h"
#include "platform/com/Registry.h"

namespace varnkit::app {
namespace {

namespace fs = std::filesystem;

bool isFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

}  // namespace

std::string OwnMidiModule(const std::string& programFolder) {
  // Installed: bin/../<libdir>/varnkit; built: app/../midi.
  for (const char* place : {VARNKIT_MODULE_FROM_BIN, "../midi/Midi.ocx"}) {
    std::error_code ec;
    const fs::path module = fs::weakly_canonical(fs::path(programFolder) / place, ec);
    if (!ec && isFile(module.string())) return module.string();
  }
  return "";
}

bool RegisterWhenMissing(const com::CLSID& clsid, const std::string& module, std::string& why) {
  const auto entry = com::findClass(com::readRegistry(), clsid);
  if (entry && isFile(entry->modulePath)) return true;
  if (module.empty()) {
    why = entry ? "the registered Midi module " + entry->modulePath + " is gone"
                : "the Midi module is not registered";
    return false;
  }
  std::shared_ptr<com::Module> loaded;
  if (com::failed(com::Module::load(module, loaded, why))) return false;
  // The input control is made from it right after; unloading in between gains nothing.
  loaded->keepLoaded();
  if (const com::HRESULT hr = loaded->registerServer(); com::failed(hr)) {
    why = "registering " + module + " failed: " + com::resultText(hr);
    return false;
  }
  return true;
}

}  // namespace varnkit::app
