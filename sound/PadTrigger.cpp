#include "sound/PadTrigger.h"

#include <memory>
#include <string>

#include "engine/Engine.h"
#include "engine/HitRule.h"
#include "kit/Drumkit.h"
#include "kit/KitState.h"
#include "kit/Layer.h"
#include "platform/Error.h"
#include "platform/audio/Device.h"
#include "sound/Describe.h"

namespace varnkit {
namespace {

// The rule followed on the layers themselves, for pads whose sound reaches the plain player,
// which only this thread can start; a layer's errors stop the rule where it was.
class LayerActions final : public engine::HitActions {
 public:
  explicit LayerActions(Drumkit& kit) : kit_(kit) {}
  void stopLayer(std::size_t pad, std::size_t layer) override { at(pad, layer).stopd(); }
  void startLayer(std::size_t pad, std::size_t layer, int32_t velocity) override {
    at(pad, layer).Play(int16_t(velocity));
  }

 private:
  Layer& at(std::size_t pad, std::size_t layer) {
    return *(kit_.Instrument(int16_t(pad)).layers().begin() + std::ptrdiff_t(layer))->item;
  }
  Drumkit& kit_;
};

// The device whose engine follows event on its own, or null when the layers must.
audio::Device* engineFor(KitState& state, const engine::KitDescription& kit,
                         const engine::Event& event) {
  audio::Device* device = state.soundDevice();
  if (device == nullptr || engine::HostPlays(kit, event)) return nullptr;
  if (event.kind == engine::Event::Kind::PadHit && (event.velocity < 0 || event.velocity > 127))
    return nullptr;  // the layer refuses such a level itself, and says so
  return device;
}

[[noreturn]] void refused(const std::string& what) {
  throw Error(int32_t(audio::DsResult::Generic), what);
}

}  // namespace

void PlayPad(KitState& state, int16_t pad, int16_t Vel) {
  Drumkit& kit = state.kit();
  preset& instrument = kit.Instrument(pad);  // Error 9 for a pad that does not exist
  const engine::KitDescription described = DescribeKit(kit, false);
  const auto event = engine::Event::padHit(uint8_t(pad), Vel);
  audio::Device* device = engineFor(state, described, event);
  if (device == nullptr) {
    LayerActions actions(kit);
    engine::HitPad(described, std::size_t(pad), Vel, actions);
    return;
  }
  // The hit meets the kit as it stands: the description just made goes to the engine, which
  // keeps what it has when nothing changed, and whether a note is learned stays as it was.
  const engine::KitDescription* newest = device->engine().kit();
  auto current = std::make_unique<engine::KitDescription>(described);
  current->learning = newest != nullptr && newest->learning;
  device->engine().publish(std::move(current));
  if (device->engine().post(event)) return;
  const int32_t layer = engine::ChooseLayer(described.pads[std::size_t(pad)], Vel);
  if (layer < 0) refused("The sounds of pad " + std::to_string(pad + 1) + " could not be stopped.");
  refused("The sound of " + (instrument.layers().begin() + layer)->item->filename +
          " could not be played.");
}

void StopPad(KitState& state, int16_t pad) {
  Drumkit& kit = state.kit();
  kit.Instrument(pad);
  const engine::KitDescription described = DescribeKit(kit, false);
  const auto event = engine::Event::padStop(uint8_t(pad));
  audio::Device* device = engineFor(state, described, event);
  if (device == nullptr) {
    LayerActions actions(kit);
    engine::SilencePad(described, std::size_t(pad), actions);
    return;
  }
  // Stopping needs no newer kit than the engine plays, and a kit half way through a change
  // must not reach it: the voices of layers taken away since stop as they are released.
  if (!device->engine().post(event))
    refused("The sounds of pad " + std::to_string(pad + 1) + " could not be stopped.");
}

}  // namespace varnkit
