#include "platform/com/TypeLibRegistry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/com/Text.h"

namespace varnkit::com {
namespace {

std::string libKey(const GUID& libid) {
  return "TypeLib\\" + toString(libid);
}

std::string interfaceKey(const IID& iid) {
  return "Interface\\" + toString(iid);
}

std::string declaration(const TypeDecl& decl) {
  if (decl.enumeration) return std::string("enum ") + decl.enumeration->name;
  if (decl.dispinterface) return std::string("dispinterface ") + decl.dispinterface->name;
  if (decl.coclass) return std::string("coclass ") + decl.coclass->name;
  return {};
}

void writeInterface(RegistryKeys& keys, const InterfaceDesc& desc, const std::string& lib,
                    const std::string& version) {
  const std::string key = interfaceKey(desc.iid);
  keys.removeTree(key);
  keys.set(key, RegistryKeys::kDefault, desc.name);
  keys.set(key, "Description", desc.description);
  keys.set(key, "TypeLib", lib);
  keys.set(key, "Version", version);
  keys.create(key + "\\Members");
  for (const MemberDesc& member : desc.members) {
    std::string names = member.name;
    if (member.ownName != nullptr) names += std::string(",") + member.ownName;
    keys.set(key + "\\Members", std::to_string(member.id), names);
  }
}

void writeDecl(RegistryKeys& keys, const TypeDecl& decl, const std::string& key,
               const std::string& lib, const std::string& version) {
  if (decl.enumeration) {
    const std::string enumKey = key + "\\Enum\\" + decl.enumeration->name;
    keys.create(enumKey);
    for (const EnumConstant& constant : decl.enumeration->constants)
      keys.set(enumKey, constant.name, std::to_string(constant.value));
  } else if (decl.dispinterface) {
    writeInterface(keys, *decl.dispinterface, lib, version);
  } else if (decl.coclass) {
    const std::string classKey = key + "\\CoClass\\" + decl.coclass->name;
    keys.set(classKey, RegistryKeys::kDefault, decl.coclass->description);
    keys.set(classKey, "CLSID", toString(decl.coclass->clsid));
    if (decl.coclass->dispatch) keys.set(classKey, "Default", decl.coclass->dispatch->name);
    if (decl.coclass->events) keys.set(classKey, "Source", decl.coclass->events->name);
  }
}

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::string versionText(uint16_t major, uint16_t minor) {
  char text[16];
  std::snprintf(text, sizeof text, "%x.%x", unsigned(major), unsigned(minor));
  return text;
}

void writeTypeLib(RegistryKeys& keys, const TypeLibDesc& desc, const std::string& modulePath) {
  removeTypeLib(keys, desc.libid, desc.major, desc.minor);
  const std::string lib = toString(desc.libid);
  const std::string version = versionText(desc.major, desc.minor);
  const std::string key = libKey(desc.libid) + "\\" + version;
  keys.set(key, RegistryKeys::kDefault, desc.helpString);
  keys.set(key, "Name", desc.name);
  keys.set(key, "LCID", hexText(desc.lcid));
  keys.set(key, "Path", modulePath);
  keys.set(key, "HelpFile", desc.helpFile);
  keys.set(key, "HelpDir", folderOf(modulePath));
  keys.set(key, "Flags", "0");
  for (std::size_t i = 0; i < desc.decls.size(); ++i) {
    keys.set(key + "\\Types", std::to_string(i), declaration(desc.decls[i]));
    writeDecl(keys, desc.decls[i], key, lib, version);
  }
}

void removeTypeLib(RegistryKeys& keys, const GUID& libid, uint16_t major, uint16_t minor) {
  const std::string lib = toString(libid);
  const std::string version = versionText(major, minor);
  for (const std::string& iid : keys.subkeys("Interface")) {
    const std::string key = "Interface\\" + iid;
    const auto owner = keys.value(key, "TypeLib");
    if (owner && sameName(*owner, lib) && keys.value(key, "Version") == version)
      keys.removeTree(key);
  }
  keys.removeTree(libKey(libid) + "\\" + version);
  if (keys.subkeys(libKey(libid)).empty()) keys.removeTree(libKey(libid));
}

std::optional<TypeLibEntry> findTypeLib(const RegistryKeys& keys, const GUID& libid, uint16_t major,
                                        uint16_t minor) {
  const std::string key = libKey(libid) + "\\" + versionText(major, minor);
  if (!keys.has(key)) return std::nullopt;
  const auto text = [&](std::string_view name) { return keys.value(key, name).value_or(""); };
  TypeLibEntry entry;
  entry.libid = libid;
  entry.major = major;
  entry.minor = minor;
  entry.name = text("Name");
  entry.helpString = text(RegistryKeys::kDefault);
  entry.lcid = parseHex(text("LCID"));
  entry.path = text("Path");
  entry.helpFile = text("HelpFile");
  entry.helpDir = text("HelpDir");
  for (std::size_t i = 0;; ++i) {
    const auto decl = keys.value(key + "\\Types", std::to_string(i));
    if (!decl) break;
    entry.declarations.push_back(*decl);
  }
  return entry;
}

std::optional<DISPID> findRegisteredMember(const RegistryKeys& keys, const IID& iid,
                                           std::string_view name) {
  for (const auto& [id, names] : keys.values(interfaceKey(iid) + "\\Members")) {
    DISPID value = 0;
    const auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
    if (error != std::errc() || end != id.data() + id.size()) continue;
    std::string_view rest = names;
    while (!rest.empty()) {
      const std::size_t comma = std::min(rest.find(','), rest.size());
      if (sameName(rest.substr(0, comma), name)) return value;
      rest.remove_prefix(std::min(comma + 1, rest.size()));
    }
  }
  return std::nullopt;
}

}  // namespace varnkit::com
