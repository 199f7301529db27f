#pragma once
// Reading an SFZ instrument into a SourceKit: its regions become instruments by the key that
// plays them, their velocity ranges layers.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "import/SourceKit.h"

namespace varnkit::import {

// The text of a file an SFZ file #includes, or the sentence saying why there is none.
struct IncludedText {
  std::optional<std::string> text;
  std::string error;
};

// Fetches an #include'd file by its full path, free of "." and "..", under the SFZ file's folder.
using IncludeLoader = std::function<IncludedText(const std::filesystem::path& file)>;

// Reads the SFZ file and checks that its samples are there; the kit is named by the file's
// stem. Never throws.
ReadResult ReadSfz(const std::filesystem::path& sfzFile);

// Reads text as the SFZ file sfzFile (an absolute path), fetching #include'd files through
// load, without touching the disk: samples are checked by their names only. Never throws.
ReadResult ParseSfz(std::string_view text, const std::filesystem::path& sfzFile,
                    const IncludeLoader& load);

}  // namespace varnkit::import
