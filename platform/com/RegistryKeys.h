#pragma once
// The registry's content: keys named by paths of segments joined with "\", each holding named
// string values. Key and value names compare without regard to letter case and keep the
// spelling they were first written with.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/Text.h"

namespace varnkit::com {

class RegistryKeys {
 public:
  // The name of a key's default value.
  static constexpr std::string_view kDefault = "@";
  using Values = std::vector<std::pair<std::string, std::string>>;

  // The value called name of key; nullopt when there is none.
  std::optional<std::string> value(std::string_view key, std::string_view name = kDefault) const;
  // Sets a value, making the key if needed. False, and nothing changed, for a key path or
  // name that cannot be stored (empty segments, line breaks, "]" in a key, "=" in a name).
  bool set(std::string_view key, std::string_view name, std::string_view value);
  // Makes key without values; false as for set.
  bool create(std::string_view key);
  // Whether key exists, or any key below it.
  bool has(std::string_view key) const;
  // Removes key with its values and every key below it.
  void removeTree(std::string_view key);
  // The names of the keys directly below key.
  std::vector<std::string> subkeys(std::string_view key) const;
  // The values of key in the order they were first set.
  Values values(std::string_view key) const;
  // Every key path, in order.
  std::vector<std::string> keys() const;
  bool empty() const noexcept { return keys_.empty(); }

  // The registry file's text; parse(serialize()) gives the same keys.
  std::string serialize() const;
  // Reads registry file text. Lines that cannot be read, and values under a key that cannot,
  // are left out; nothing in text makes this fail.
  static RegistryKeys parse(std::string_view text);

  static bool validKey(std::string_view key) noexcept;
  static bool validName(std::string_view name) noexcept;

 private:
  std::map<std::string, Values, NameLess> keys_;
};

}  // namespace varnkit::com
