#include "engine/HitRule.h"

namespace varnkit::engine {
namespace {

bool inGroup(int32_t group) noexcept {
  return group == 1 || group == 2;
}

bool reachesHost(const KitDescription& kit, std::size_t pad, bool hit) noexcept {
  if (kit.hostPlays(pad)) return true;
  if (!hit || !inGroup(kit.pads[pad].group)) return false;
  for (std::size_t other = 0; other < kit.pads.size(); ++other)
    if (kit.pads[other].group == kit.pads[pad].group && kit.hostPlays(other)) return true;
  return false;
}

}  // namespace

int32_t ChooseLayer(const KitPad& pad, int32_t velocity) noexcept {
  for (std::size_t i = 0; i < pad.layers.size(); ++i)
    if (pad.layers[i].velStart <= velocity && velocity <= pad.layers[i].velEnd) return int32_t(i);
  return -1;
}

void SilencePad(const KitDescription& kit, std::size_t pad, HitActions& actions) {
  if (pad >= kit.pads.size()) return;
  for (std::size_t layer = 0; layer < kit.pads[pad].layers.size(); ++layer)
    actions.stopLayer(pad, layer);
}

void HitPad(const KitDescription& kit, std::size_t pad, int32_t velocity, HitActions& actions) {
  if (pad >= kit.pads.size()) return;
  const int32_t group = kit.pads[pad].group;
  if (inGroup(group))
    for (std::size_t other = 0; other < kit.pads.size(); ++other)
      if (kit.pads[other].group == group) SilencePad(kit, other, actions);
  SilencePad(kit, pad, actions);
  const int32_t layer = ChooseLayer(kit.pads[pad], velocity);
  if (layer >= 0) actions.startLayer(pad, std::size_t(layer), velocity);
}

void HitNote(const KitDescription& kit, int32_t note, int32_t velocity, HitActions& actions) {
  if (kit.learning || velocity <= 0 || velocity > 127) return;
  for (std::size_t pad = 0; pad < kit.pads.size(); ++pad)
    if (kit.pads[pad].rootKey == note) HitPad(kit, pad, velocity, actions);
}

void Follow(const KitDescription& kit, const Event& event, HitActions& actions) {
  switch (event.kind) {
    case Event::Kind::NoteOn:
      HitNote(kit, event.key, event.velocity, actions);
      break;
    case Event::Kind::PadHit:
      HitPad(kit, event.key, event.velocity, actions);
      break;
    case Event::Kind::PadStop:
      SilencePad(kit, event.key, actions);
      break;
  }
}

bool HostPlays(const KitDescription& kit, const Event& event) noexcept {
  if (event.kind != Event::Kind::NoteOn) {
    return event.key < kit.pads.size() &&
           reachesHost(kit, event.key, event.kind == Event::Kind::PadHit);
  }
  for (std::size_t pad = 0; pad < kit.pads.size(); ++pad)
    if (kit.pads[pad].rootKey == event.key && reachesHost(kit, pad, true)) return true;
  return false;
}

}  // namespace varnkit::engine
