#include "sound/LiveKit.h"

#include "kit/Drumkit.h"
#include "kit/KitState.h"
#include "kit/Layer.h"
#include "platform/audio/Device.h"
#include "platform/audio/SoundBuffer.h"

namespace varnkit {

audio::LiveTable MakeLiveTable(KitState& state, bool learning) {
  audio::LiveTable table;
  table.learning = learning;
  for (int16_t v = 0; v < 128; ++v)
    table.gain[std::size_t(v)] = audio::gainOfLevel(Layer::levelOf(v));
  for (int16_t i = 0; i < 9; ++i) {
    preset& pad = state.kit().Instrument(i);
    audio::LivePad live;
    live.rootKey = pad.RootKey;
    live.group = pad.Grp();
    for (auto& entry : pad.layers()) {
      const Layer& layer = *entry.item;
      if (layer.buffer() == nullptr) {
        live.plain = true;
        continue;
      }
      live.layers.push_back({layer.buffer()->core(), layer.VelStart, layer.velEnd()});
    }
    table.pads.push_back(std::move(live));
  }
  return table;
}

void LiveKit::update(KitState& state, bool learning, audio::Device& device) {
  audio::LiveTable table = MakeLiveTable(state, learning);
  // Another device (after a loss) has another mixer, which has never seen a table.
  if (&device == device_ && last_ && last_->samePlayAs(table)) {
    device.mixer().collect();
    return;
  }
  device_ = &device;
  last_ = table;
  device.mixer().publish(std::make_unique<audio::LiveTable>(std::move(table)));
}

}  // namespace varnkit
