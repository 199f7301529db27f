#include "midi/module/Registration.h"

#include <string>

#include "midi/module/Classes.h"
#include "midi/module/ModuleFile.h"
#include "midi/typelib/VERIRud.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/Registry.h"
#include "platform/com/TypeLibRegistry.h"

namespace varnkit::midictl {

using namespace com;

namespace {

ClassEntry entryOf(const ServedClass& served, const std::string& path) {
  ClassEntry entry;
  entry.clsid = served.clsid;
  entry.typeName = served.typeName;
  entry.progId = served.progId;
  entry.modulePath = path;
  entry.threadingModel = "Apartment";
  entry.control = served.control;
  entry.miscStatus = served.miscStatus;
  if (served.toolboxBitmap != 0)
    entry.toolboxBitmap = path + ", " + std::to_string(served.toolboxBitmap);
  if (served.control) {
    entry.typeLib = VERIRud::library.libid;
    entry.version = versionText(VERIRud::library.major, VERIRud::library.minor);
  }
  if (served.propertyPage) entry.propertyPages.push_back(*served.propertyPage);
  return entry;
}

// Applies change to the registry; whether it was written.
bool update(const std::function<void(RegistryKeys&)>& change) noexcept {
  try {
    std::string why;
    return updateRegistry(change, why);
  } catch (...) {
    return false;
  }
}

}  // namespace

HRESULT registerModule() noexcept {
  std::string path;
  try {
    path = modulePath();
  } catch (...) {
  }
  if (path.empty()) return SELFREG_E_TYPELIB;
  if (!update([&](RegistryKeys& keys) { writeTypeLib(keys, VERIRud::library, path); }))
    return SELFREG_E_TYPELIB;
  if (!update([&](RegistryKeys& keys) {
        for (const ServedClass& served : servedClasses()) writeClass(keys, entryOf(served, path));
      }))
    return SELFREG_E_CLASS;
  return S_OK;
}

HRESULT unregisterModule() noexcept {
  const TypeLibDesc& lib = VERIRud::library;
  if (!update([&](RegistryKeys& keys) { removeTypeLib(keys, lib.libid, lib.major, lib.minor); }))
    return SELFREG_E_TYPELIB;
  if (!update([](RegistryKeys& keys) {
        for (const ServedClass& served : servedClasses()) removeClass(keys, served.clsid);
      }))
    return SELFREG_E_CLASS;
  return S_OK;
}

}  // namespace varnkit::midictl
