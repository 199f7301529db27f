#include "platform/profile/Profile.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/profile/SettingsStore.h"

namespace varnkit::profile {

uint32_t GetProfileString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::span<char> buffer) {
  if (buffer.empty()) return 0;
  std::optional<std::string> stored;
  if (const auto path = userStorePath()) stored = SettingsStore(*path).read(section, key).value;
  const std::string_view value = stored ? std::string_view(*stored) : defaultValue;
  const size_t n = std::min(value.size(), buffer.size() - 1);
  std::copy_n(value.begin(), n, buffer.begin());
  buffer[n] = '\0';
  return uint32_t(n);
}

Status WriteProfileString(std::string_view section, std::string_view key, std::string_view value) {
  const auto path = userStorePath();
  if (!path) return Status::failed("the home folder is unknown, so there is no settings store");
  return SettingsStore(*path).write(section, key, value);
}

}  // namespace varnkit::profile
