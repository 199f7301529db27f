#pragma once
// A kit as another sampler describes it, read into one shape: the importer picks VarnKit's
// nine pads from it. Readers fill it; they neither copy nor decode samples.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace varnkit::import {

struct SourceLayer {
  int velLow = 0;                // lowest velocity the layer answers, 0..127
  int velHigh = 127;             // highest, 0..127
  std::filesystem::path sample;  // absolute; checked to lie inside the source's folder
};

struct SourceInstrument {
  std::string name;                  // as the source names it; may hold any bytes
  std::optional<int> note;           // the MIDI note the source plays it from, 0..127
  std::string chokeGroup;            // instruments with the same non-empty value silence each other
  std::vector<SourceLayer> layers;   // in source order; alternatives at one velocity all listed
  std::vector<std::string> leftOut;  // what of it VarnKit cannot keep: "pitch", "pan", ...
};

struct SourceKit {
  std::string name;                           // the kit's own name, or the file's stem
  std::filesystem::path folder;               // samples must lie inside it
  std::vector<SourceInstrument> instruments;  // in source order
  std::vector<std::string> leftOut;           // kit-wide: "3 components beyond the first", ...
};

// The outcome of reading a source: a kit, or why there is none.
struct ReadResult {
  std::optional<SourceKit> kit;
  std::string error;  // a sentence for the user when kit is empty
};

}  // namespace varnkit::import
