#pragma once
// Reading a Hydrogen drumkit into a SourceKit.

#include <filesystem>

#include "import/SourceKit.h"

namespace varnkit::import {

// Reads the kit at source: a drumkit.xml file, a folder holding one, or an .h2drumkit
// archive, which is unpacked into scratch (an empty folder the caller removes afterwards).
// Only the first component's layers are kept. Never throws.
ReadResult ReadHydrogenKit(const std::filesystem::path& source,
                           const std::filesystem::path& scratch);

}  // namespace varnkit::import
