#include "sound/PadTrigger.h"

#include "kit/Drumkit.h"
#include "kit/KitState.h"

namespace varnkit {
namespace {

void stopGroup(KitState& state, Collection<preset*>& group) {
  const int32_t n = group.Count();
  for (int32_t i = 1; i <= n; ++i) {
    preset** entry = group.find(i);
    if (entry != nullptr) StopPad(state, int16_t((*entry)->Index));
  }
}

}  // namespace

void PlayPad(KitState& state, int16_t pad, int16_t Vel) {
  const int32_t group = state.kit().Instrument(pad).Grp();
  if (group == 1) stopGroup(state, state.Group1Pads);
  if (group == 2) stopGroup(state, state.Group2Pads);
  StopPad(state, pad);
  for (auto& entry : state.kit().Instrument(pad).layers()) {
    Layer& layer = *entry.item;
    if (layer.VelStart <= Vel && Vel <= layer.velEnd()) {
      layer.Play(Vel);
      return;
    }
  }
}

void StopPad(KitState& state, int16_t pad) {
  for (auto& entry : state.kit().Instrument(pad).layers()) entry.item->stopd();
}

}  // namespace varnkit
