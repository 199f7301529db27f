#pragma once
// Reading a Hydrogen drumkit into a SourceKit.

#include <filesystem>
#include <functional>

#include "import/SourceKit.h"

namespace varnkit::import {

// Reads the kit at source: a drumkit.xml file, a folder holding one, or an .h2drumkit
// archive, which is unpacked into scratch (an empty folder the caller removes afterwards).
// Only the first component's layers are kept; goOn is asked while an archive is unpacked (see
// ExtractArchive). Never throws.
ReadResult ReadHydrogenKit(const std::filesystem::path& source,
                           const std::filesystem::path& scratch,
                           const std::function<bool()>& goOn = {});

}  // namespace varnkit::import
