#include "engine/Kit.h"

namespace varnkit::engine {
namespace {

bool sameLayers(const KitPad& a, const KitPad& b) {
  if (a.layers.size() != b.layers.size()) return false;
  for (std::size_t i = 0; i < a.layers.size(); ++i) {
    const KitLayer &x = a.layers[i], &y = b.layers[i];
    if (x.voice != y.voice || x.velStart != y.velStart || x.velEnd != y.velEnd) return false;
  }
  return true;
}

}  // namespace

bool KitDescription::samePlayAs(const KitDescription& other) const {
  if (learning != other.learning || pads.size() != other.pads.size()) return false;
  for (std::size_t i = 0; i < pads.size(); ++i) {
    const KitPad &a = pads[i], &b = other.pads[i];
    if (a.rootKey != b.rootKey || a.group != b.group || !sameLayers(a, b)) return false;
  }
  return true;
}

bool KitDescription::hostPlays(std::size_t pad) const {
  if (pad >= pads.size()) return false;
  for (const KitLayer& layer : pads[pad].layers)
    if (layer.voice == nullptr) return true;
  return false;
}

}  // namespace varnkit::engine
