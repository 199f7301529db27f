#pragma once
// Which nine instruments of another sampler's kit become VarnKit's pads, with which layers,
// groups and names. Pure decisions: nothing is read, copied or decoded here.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "import/SourceKit.h"

namespace varnkit::import {

struct PlannedLayer {
  int velStart = 0;
  std::filesystem::path source;  // the sample in the source kit
  std::string fileName;          // its name in the kit folder: safe, and unique without case
};

struct PlannedPad {
  std::string name;        // safe for a kit file
  std::string sourceName;  // the instrument's name in the source, as it was
  std::string role;        // "kick", "snare", ... or "" for a pad filled from what was left
  int rootKey = 0;
  int group = 0;  // 0 none, 1 or 2
  std::vector<PlannedLayer> layers;
};

struct ImportPlan {
  std::string kitName;  // safe for a kit file and a folder name
  std::array<std::optional<PlannedPad>, 9> pads;
  std::vector<std::string> leftOut;  // everything of the source the kit does not carry
};

// The plan for source; kitName replaces the source's own name when it is not empty.
ImportPlan PlanImport(const SourceKit& source, const std::string& kitName = "");

// A few lines for the user: each pad with its source instrument and layer count, then what
// was left out.
std::string Summary(const ImportPlan& plan);

// text without what a kit file or a file name cannot carry (commas, tabs, line breaks,
// quotes, slashes, control characters), trimmed; fallback when nothing is left.
std::string SafeName(const std::string& text, const std::string& fallback);

}  // namespace varnkit::import
