#pragma once
// Unpacking a kit archive that may be hostile: tar, plain or compressed, zip or 7z.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace varnkit::import {

// What ExtractArchive takes at most unless told otherwise.
inline constexpr uint64_t kMostUnpackedBytes = 2ull << 30;
inline constexpr std::size_t kMostMembers = 20000;

// Unpacks archive into the folder into (made when missing). Refuses the whole archive, and
// leaves into empty, when a member is a link or a device, names an absolute path or "..",
// when the data written passes maxBytes or the members pass maxEntries, or when it cannot be
// read, or when goOn, asked before each member and each piece of data, says false; why then
// holds a sentence naming the cause.
bool ExtractArchive(const std::filesystem::path& archive, const std::filesystem::path& into,
                    std::string& why, uint64_t maxBytes = kMostUnpackedBytes,
                    std::size_t maxEntries = kMostMembers, const std::function<bool()>& goOn = {});

}  // namespace varnkit::import
