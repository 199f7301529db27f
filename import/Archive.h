#pragma once
// Unpacking a kit archive that may be hostile: tar, plain or compressed, zip or 7z.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace varnkit::import {

// Unpacks archive into the folder into (made when missing). Refuses the whole archive, and
// leaves into empty, when a member is a link or a device, names an absolute path or "..",
// when the data written passes maxBytes or the members pass maxEntries, or when it cannot be
// read; why then holds a sentence naming the cause.
bool ExtractArchive(const std::filesystem::path& archive, const std::filesystem::path& into,
                    std::string& why, uint64_t maxBytes = 2ull << 30,
                    std::size_t maxEntries = 20000);

}  // namespace varnkit::import
