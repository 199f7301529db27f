#include "sound/Describe.h"

#include <memory>

#include "engine/Engine.h"
#include "kit/Drumkit.h"
#include "kit/KitState.h"
#include "kit/Layer.h"
#include "platform/audio/Device.h"

namespace varnkit {

engine::KitDescription DescribeKit(Drumkit& kit, bool learning) {
  engine::KitDescription description;
  description.learning = learning;
  for (int16_t i = 0; i < 9; ++i) {
    preset& pad = kit.Instrument(i);
    engine::KitPad described;
    described.rootKey = pad.RootKey;
    described.group = pad.Grp();
    for (auto& entry : pad.layers()) {
      const Layer& layer = *entry.item;
      engine::Voice* voice = layer.buffer() != nullptr ? layer.buffer()->voice() : nullptr;
      described.layers.push_back({voice, layer.VelStart, layer.velEnd()});
    }
    description.pads.push_back(std::move(described));
  }
  return description;
}

void PublishKit(KitState& state, bool learning) {
  audio::Device* device = state.soundDevice();
  if (device == nullptr) return;
  device->engine().publish(
      std::make_unique<engine::KitDescription>(DescribeKit(state.kit(), learning)));
}

}  // namespace varnkit
