#include "midi/module/ModuleFile.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>

namespace varnkit::midictl {
namespace {

// The name the loader knows this module by.
const char* loadedName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&modulePath), &info) == 0) return nullptr;
  return info.dli_fname;
}

}  // namespace

std::string modulePath() {
  const char* name = loadedName();
  if (name == nullptr) return {};
  char* resolved = realpath(name, nullptr);
  if (resolved == nullptr) return {};
  std::string path = resolved;
  free(resolved);
  return path;
}

void pinModule() noexcept {
  static std::atomic<bool> pinned{false};
  if (pinned.exchange(true)) return;
  // A reference of our own that is never given back, on a module the loader won't delete.
  if (const char* name = loadedName()) dlopen(name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace varnkit::midictl
