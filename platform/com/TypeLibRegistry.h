#pragma once
// Type libraries in the registry: the library with its version, locale and help, its
// declarations in order, and for each dispatch interface the names of its members, so that
// a host can look a member up by name without loading the module.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/Dispatch.h"
#include "platform/com/RegistryKeys.h"
#include "platform/com/TypeInfo.h"

namespace varnkit::com {

struct TypeLibEntry {
  GUID libid;
  uint16_t major = 0;
  uint16_t minor = 0;
  std::string name;
  std::string helpString;
  std::optional<uint32_t> lcid;
  std::string path;  // the module that holds it
  std::string helpFile;
  std::string helpDir;
  std::vector<std::string> declarations;  // "enum MTyp", "dispinterface _DMidi_IN", ...
};

// Registers library desc, held by the module at modulePath, replacing an earlier
// registration of the same version.
void writeTypeLib(RegistryKeys& keys, const TypeLibDesc& desc, const std::string& modulePath);
// Removes version major.minor of library libid with the interfaces it registered.
void removeTypeLib(RegistryKeys& keys, const GUID& libid, uint16_t major, uint16_t minor);
// Version major.minor of library libid; nullopt when it is not registered.
std::optional<TypeLibEntry> findTypeLib(const RegistryKeys& keys, const GUID& libid, uint16_t major,
                                        uint16_t minor);
// The dispatch id of member name of interface iid, by its type-library name or the object's
// own name, letter case ignored; nullopt when none is registered.
std::optional<DISPID> findRegisteredMember(const RegistryKeys& keys, const IID& iid,
                                           std::string_view name);

// "1.0": the registry's way of writing a version.
std::string versionText(uint16_t major, uint16_t minor);

}  // namespace varnkit::com
