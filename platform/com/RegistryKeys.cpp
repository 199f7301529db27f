#include "platform/com/RegistryKeys.h"

#include <algorithm>

namespace varnkit::com {
namespace {

constexpr std::string_view kHeader = "# VarnKit component registry";

bool startsWithName(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && sameName(text.substr(0, prefix.size()), prefix);
}

std::string escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<std::string> unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

RegistryKeys::Values::iterator findValue(RegistryKeys::Values& values, std::string_view name) {
  return std::find_if(values.begin(), values.end(),
                      [&](const auto& v) { return sameName(v.first, name); });
}

}  // namespace

bool RegistryKeys::validKey(std::string_view key) noexcept {
  if (key.empty() || key.front() == '\\' || key.back() == '\\') return false;
  if (key.find("\\\\") != std::string_view::npos) return false;
  return key.find_first_of("]\n\r") == std::string_view::npos;
}

bool RegistryKeys::validName(std::string_view name) noexcept {
  return !name.empty() && name.find_first_of("=\n\r") == std::string_view::npos &&
         name.front() != '[' && name.front() != '#';
}

std::optional<std::string> RegistryKeys::value(std::string_view key, std::string_view name) const {
  const auto found = keys_.find(key);
  if (found == keys_.end()) return std::nullopt;
  for (const auto& [n, v] : found->second)
    if (sameName(n, name)) return v;
  return std::nullopt;
}

bool RegistryKeys::set(std::string_view key, std::string_view name, std::string_view value) {
  if (!validKey(key) || !validName(name)) return false;
  auto found = keys_.find(key);
  if (found == keys_.end()) found = keys_.emplace(std::string(key), Values()).first;
  Values& values = found->second;
  if (auto v = findValue(values, name); v != values.end()) {
    v->second = value;
  } else {
    values.emplace_back(std::string(name), std::string(value));
  }
  return true;
}

bool RegistryKeys::create(std::string_view key) {
  if (!validKey(key)) return false;
  if (keys_.find(key) == keys_.end()) keys_.emplace(std::string(key), Values());
  return true;
}

bool RegistryKeys::has(std::string_view key) const {
  if (keys_.find(key) != keys_.end()) return true;
  const std::string below = std::string(key) + '\\';
  const auto next = keys_.lower_bound(below);
  return next != keys_.end() && startsWithName(next->first, below);
}

void RegistryKeys::removeTree(std::string_view key) {
  keys_.erase(std::string(key));
  const std::string below = std::string(key) + '\\';
  auto it = keys_.lower_bound(below);
  while (it != keys_.end() && startsWithName(it->first, below)) it = keys_.erase(it);
}

std::vector<std::string> RegistryKeys::subkeys(std::string_view key) const {
  std::vector<std::string> names;
  const std::string below = std::string(key) + '\\';
  for (auto it = keys_.lower_bound(below); it != keys_.end() && startsWithName(it->first, below);
       ++it) {
    const std::string_view rest = std::string_view(it->first).substr(below.size());
    const std::string_view name = rest.substr(0, rest.find('\\'));
    if (names.empty() || !sameName(names.back(), name)) names.emplace_back(name);
  }
  return names;
}

RegistryKeys::Values RegistryKeys::values(std::string_view key) const {
  const auto found = keys_.find(key);
  return found == keys_.end() ? Values() : found->second;
}

std::vector<std::string> RegistryKeys::keys() const {
  std::vector<std::string> all;
  for (const auto& entry : keys_) all.push_back(entry.first);
  return all;
}

std::string RegistryKeys::serialize() const {
  std::string text = std::string(kHeader) + "\n";
  for (const auto& [key, values] : keys_) {
    text += "\n[" + key + "]\n";
    for (const auto& [name, value] : values) text += name + "=" + escape(value) + "\n";
  }
  return text;
}

RegistryKeys RegistryKeys::parse(std::string_view text) {
  RegistryKeys keys;
  std::optional<std::string> key;  // none while under a key that cannot be read
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      key = std::string(line.substr(1, line.size() - 2));
      if (!keys.create(*key)) key.reset();
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!key || equals == std::string_view::npos) continue;
    if (const auto value = unescape(line.substr(equals + 1)))
      keys.set(*key, line.substr(0, equals), *value);
  }
  return keys;
}

}  // namespace varnkit::com
