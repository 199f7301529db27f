#pragma once
// The user-profile calls the program was written against, over the user's settings store
// (userStorePath). All functions: user-interface thread.

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/profile/Status.h"

namespace varnkit::profile {

// Copies the value of key in section, or defaultValue when the key is absent or the store
// cannot be read, into buffer: at most buffer.size() - 1 bytes and a terminating zero. Returns
// the number of bytes copied (0 for an empty buffer).
uint32_t GetProfileString(std::string_view section, std::string_view key,
                          std::string_view defaultValue, std::span<char> buffer);

// Stores value under key in section of the user's store, creating both when needed.
Status WriteProfileString(std::string_view section, std::string_view key, std::string_view value);

}  // namespace varnkit::profile
