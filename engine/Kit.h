#pragma once
// A kit as the engine plays it: each pad's root key, mute group and velocity layers with their
// voices. Built whole off the render thread and published to an engine, which plays every
// block from one description, so a kit change never sounds half made.

#include <cstdint>
#include <vector>

namespace varnkit::engine {

struct Voice;

struct KitLayer {
  Voice* voice = nullptr;  // null: the host plays this layer itself (the program's plain player)
  int32_t velStart = 0;
  int32_t velEnd = 127;  // both ends included
};

struct KitPad {
  int32_t rootKey = -1;          // outside 0..127: no note plays the pad
  int32_t group = 0;             // 0: none; pads of group 1 or 2 silence each other
  std::vector<KitLayer> layers;  // in the pad's own order: the first that fits plays
};

struct KitDescription {
  std::vector<KitPad> pads;  // in pad order
  bool learning = false;     // a note is being learned: notes play nothing, pad hits still do
  uint64_t generation = 0;   // set by the engine when published

  // Whether the two would sound different for some event (generation aside).
  bool samePlayAs(const KitDescription& other) const;
  // Whether some layer has no voice.
  bool hostPlays(std::size_t pad) const;
};

}  // namespace varnkit::engine
