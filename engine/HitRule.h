#pragma once
// The hit rule: which pads answer an event, which of their layers sounds, which mute group
// falls silent, and how a pad is stopped. Written once, here: the engine follows it on its
// render thread, and a host that plays some layers itself follows it with its own actions.

#include <cstddef>
#include <cstdint>

#include "engine/Event.h"
#include "engine/Kit.h"

namespace varnkit::engine {

// What following the rule does, in order. The engine's own actions never throw; a host's may,
// and the rule then stops where it was, with the steps before done.
class HitActions {
 public:
  virtual void stopLayer(std::size_t pad, std::size_t layer) = 0;
  // From the layer's beginning, at velocity's level.
  virtual void startLayer(std::size_t pad, std::size_t layer, int32_t velocity) = 0;

 protected:
  ~HitActions() = default;
};

// The first layer of pad, in its own order, whose velocity range holds velocity; -1 if none.
int32_t ChooseLayer(const KitPad& pad, int32_t velocity) noexcept;

// A pad hit: when pad is of group 1 or 2 the pads of that group stop, then the pad itself
// stops, then its chosen layer starts (if any: the pad is stopped all the same).
void HitPad(const KitDescription& kit, std::size_t pad, int32_t velocity, HitActions& actions);

// Every layer of the pad stops.
void SilencePad(const KitDescription& kit, std::size_t pad, HitActions& actions);

// A note on: every pad whose root key is note is hit, lowest pad first. Velocity 0 (a note
// off) and a note that comes while one is being learned do nothing.
void HitNote(const KitDescription& kit, int32_t note, int32_t velocity, HitActions& actions);

// The event, as one of the three above.
void Follow(const KitDescription& kit, const Event& event, HitActions& actions);

// Whether following event would reach a layer with no voice (one the host plays): a layer of
// a pad it hits or stops, or of a pad of the group that falls silent. The host must then
// follow the whole event itself.
bool HostPlays(const KitDescription& kit, const Event& event) noexcept;

}  // namespace varnkit::engine
