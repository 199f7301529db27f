#pragma once
// Classes in the registry: which module serves a class id, under which program id, with which
// type library, status bits and property pages.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Guid.h"
#include "platform/com/RegistryKeys.h"

namespace varnkit::com {

struct ClassEntry {
  CLSID clsid;
  std::string typeName;
  std::string progId;
  std::string modulePath;
  std::string threadingModel;
  bool control = false;
  std::optional<uint32_t> miscStatus;
  std::string toolboxBitmap;  // "<module path>, <bitmap number>"
  std::optional<GUID> typeLib;
  std::string version;  // of the type library: "1.0"
  std::vector<CLSID> propertyPages;
};

// Writes entry, replacing what was registered for its class id before.
void writeClass(RegistryKeys& keys, const ClassEntry& entry);
// Removes class clsid, and its program id when that still names it.
void removeClass(RegistryKeys& keys, const CLSID& clsid);
// The class registered as clsid; nullopt when there is none or it names no module.
// Entries that cannot be read (a malformed id or number) read as absent.
std::optional<ClassEntry> findClass(const RegistryKeys& keys, const CLSID& clsid);
// The class id program id progId names; nullopt when none.
std::optional<CLSID> classOfProgId(const RegistryKeys& keys, std::string_view progId);

// The key of class clsid: "CLSID\{...}".
std::string classKey(const CLSID& clsid);

}  // namespace varnkit::com
