#include "platform/com/ClassRegistry.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace varnkit::com {
namespace {

// A program id is a key of its own at the top: it may not nest, nor take a top key's place.
bool validProgId(std::string_view progId) {
  if (!RegistryKeys::validKey(progId) || progId.find('\\') != std::string_view::npos) return false;
  for (std::string_view reserved : {"CLSID", "TypeLib", "Interface"})
    if (sameName(progId, reserved)) return false;
  return true;
}

std::string joinIds(const std::vector<CLSID>& ids) {
  std::string text;
  for (const CLSID& id : ids) text += (text.empty() ? "" : ",") + toString(id);
  return text;
}

// The ids in a comma-separated list; those that cannot be read are left out.
std::vector<CLSID> splitIds(std::string_view text) {
  std::vector<CLSID> ids;
  while (!text.empty()) {
    const std::size_t comma = std::min(text.find(','), text.size());
    if (const auto id = parseGuid(text.substr(0, comma))) ids.push_back(*id);
    text.remove_prefix(std::min(comma + 1, text.size()));
  }
  return ids;
}

void readOptional(const RegistryKeys& keys, const std::string& key, ClassEntry& entry) {
  const auto text = [&](std::string_view name) { return keys.value(key, name).value_or(""); };
  entry.typeName = text(RegistryKeys::kDefault);
  entry.progId = text("ProgID");
  entry.threadingModel = text("ThreadingModel");
  entry.control = keys.value(key, "Control").has_value();
  entry.miscStatus = parseHex(text("MiscStatus"));
  entry.toolboxBitmap = text("ToolboxBitmap32");
  entry.typeLib = parseGuid(text("TypeLib"));
  entry.version = text("Version");
  entry.propertyPages = splitIds(text("PropertyPages"));
}

}  // namespace

std::string classKey(const CLSID& clsid) {
  return "CLSID\\" + toString(clsid);
}

void writeClass(RegistryKeys& keys, const ClassEntry& entry) {
  const std::string key = classKey(entry.clsid);
  removeClass(keys, entry.clsid);
  keys.set(key, RegistryKeys::kDefault, entry.typeName);
  keys.set(key, "InprocServer32", entry.modulePath);
  if (!entry.threadingModel.empty()) keys.set(key, "ThreadingModel", entry.threadingModel);
  if (entry.control) keys.set(key, "Control", "");
  if (entry.miscStatus) keys.set(key, "MiscStatus", hexText(*entry.miscStatus));
  if (!entry.toolboxBitmap.empty()) keys.set(key, "ToolboxBitmap32", entry.toolboxBitmap);
  if (entry.typeLib) keys.set(key, "TypeLib", toString(*entry.typeLib));
  if (!entry.version.empty()) keys.set(key, "Version", entry.version);
  if (!entry.propertyPages.empty()) keys.set(key, "PropertyPages", joinIds(entry.propertyPages));
  if (!validProgId(entry.progId)) return;
  keys.set(key, "ProgID", entry.progId);
  keys.removeTree(entry.progId);
  keys.set(entry.progId, RegistryKeys::kDefault, entry.typeName);
  keys.set(entry.progId, "CLSID", toString(entry.clsid));
}

void removeClass(RegistryKeys& keys, const CLSID& clsid) {
  const std::string key = classKey(clsid);
  if (const auto progId = keys.value(key, "ProgID");
      progId && validProgId(*progId) && classOfProgId(keys, *progId) == clsid)
    keys.removeTree(*progId);
  keys.removeTree(key);
}

std::optional<ClassEntry> findClass(const RegistryKeys& keys, const CLSID& clsid) {
  const std::string key = classKey(clsid);
  const auto module = keys.value(key, "InprocServer32");
  if (!module || module->empty()) return std::nullopt;
  ClassEntry entry;
  entry.clsid = clsid;
  entry.modulePath = *module;
  readOptional(keys, key, entry);
  return entry;
}

std::optional<CLSID> classOfProgId(const RegistryKeys& keys, std::string_view progId) {
  if (!validProgId(progId)) return std::nullopt;
  const auto text = keys.value(progId, "CLSID");
  return text ? parseGuid(*text) : std::nullopt;
}

}  // namespace varnkit::com
