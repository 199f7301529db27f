#pragma once
// The registry file of this user: which module serves a class, program ids, type libraries.
// Readers see the file either before or after an update, never half of one.

#include <functional>
#include <string>

#include "platform/com/RegistryKeys.h"

namespace varnkit::com {

// $XDG_DATA_HOME/VarnKit/registry, with ~/.local/share when XDG_DATA_HOME is unset or not
// absolute. Read anew on every call.
std::string registryPath();

// The registry at path as it stands; a missing file is empty, a damaged one reads as what
// can be read of it. Any thread.
RegistryKeys readRegistry(const std::string& path = registryPath());

// Applies change to the registry at path and replaces the file with the result, holding a
// lock beside the file so that updates by other processes are neither lost nor lose this
// one. On failure: false and why, with the file left as it was. Any thread.
bool updateRegistry(const std::function<void(RegistryKeys&)>& change, std::string& why,
                    const std::string& path = registryPath());

}  // namespace varnkit::com
