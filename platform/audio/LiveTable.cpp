#include "platform/audio/LiveTable.h"

namespace varnkit::audio {
namespace {

void stopPad(const LivePad& pad, LiveActions& actions) noexcept {
  for (const LiveLayer& layer : pad.layers) actions.stopSound(*layer.core);
}

bool sameLayers(const LivePad& a, const LivePad& b) {
  if (a.layers.size() != b.layers.size()) return false;
  for (std::size_t i = 0; i < a.layers.size(); ++i) {
    const LiveLayer &x = a.layers[i], &y = b.layers[i];
    if (x.core != y.core || x.velStart != y.velStart || x.velEnd != y.velEnd) return false;
  }
  return true;
}

}  // namespace

bool LiveTable::samePlayAs(const LiveTable& other) const {
  if (learning != other.learning || gain != other.gain || pads.size() != other.pads.size())
    return false;
  for (std::size_t i = 0; i < pads.size(); ++i) {
    const LivePad &a = pads[i], &b = other.pads[i];
    if (a.rootKey != b.rootKey || a.group != b.group || a.plain != b.plain || !sameLayers(a, b))
      return false;
  }
  return true;
}

void ResolveHit(const LiveTable& table, uint8_t note, uint8_t velocity,
                LiveActions& actions) noexcept {
  if (table.learning || velocity == 0 || velocity > 127) return;
  for (const LivePad& pad : table.pads) {
    if (pad.rootKey != note) continue;
    if (pad.group == 1 || pad.group == 2)
      for (const LivePad& other : table.pads)
        if (other.group == pad.group) stopPad(other, actions);
    stopPad(pad, actions);
    for (const LiveLayer& layer : pad.layers) {
      if (layer.velStart <= velocity && velocity <= layer.velEnd) {
        actions.startSound(*layer.core, table.gain[velocity]);
        break;
      }
    }
  }
}

bool WindowPlays(const LiveTable& table, uint8_t note) noexcept {
  for (const LivePad& pad : table.pads) {
    if (pad.rootKey != note) continue;
    if (pad.plain) return true;
    if (pad.group == 1 || pad.group == 2)
      for (const LivePad& other : table.pads)
        if (other.group == pad.group && other.plain) return true;
  }
  return false;
}

}  // namespace varnkit::audio
