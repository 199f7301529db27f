#pragma once
// Bringing another sampler's kit in as an ordinary VarnKit kit: a kit file and a folder of
// copied samples in a kit folder. User-interface thread (or a tool's only thread).

#include <filesystem>
#include <functional>
#include <string>

#include "import/Plan.h"

namespace varnkit::import {

struct ImportRequest {
  std::filesystem::path source;  // drumkit.xml, its folder, an .h2drumkit archive, or an .sfz
  std::filesystem::path into;    // the kit folder
  std::string name;              // the kit's name; empty: the source's own
};

struct ImportOutcome {
  bool ok = false;
  std::string kitName;  // as saved
  std::string summary;  // each pad and what was left out
  std::string error;    // why nothing was written, when not ok
};

// Whether the existing kit kitName may be replaced: the kit of the file the import would
// replace, named as that file is, which may differ from the import's name in letter case.
using ReplaceQuestion = std::function<bool(const std::string& kitName)>;

// Reads, plans, checks and decodes everything before the first byte goes into the kit folder,
// so a source that fails anywhere leaves the folder as it was.
ImportOutcome ImportKit(const ImportRequest& request, const ReplaceQuestion& mayReplace);

}  // namespace varnkit::import
