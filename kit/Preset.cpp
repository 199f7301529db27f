#include "kit/Preset.h"

#include "kit/KitState.h"

namespace varnkit {
namespace {

// Group-list changes never fail outward: a missing or duplicate entry is simply no change.
void leave(Collection<preset*>& group, const std::string& key) {
  if (group.contains(key)) group.Remove(key);
}

void join(Collection<preset*>& group, preset* pad, const std::string& key) {
  if (!group.contains(key)) group.add(pad, key);
}

}  // namespace

void preset::Grp(int32_t nval) {
  mGrp = nval;
  const std::string k = itemKey(Index);
  switch (nval) {
    case 0:
      leave(state_.Group2Pads, k);
      leave(state_.Group1Pads, k);
      state_.ShowGroupImage(Index, 0);
      break;
    case 1:
      leave(state_.Group2Pads, k);
      join(state_.Group1Pads, this, k);
      state_.ShowGroupImage(Index, 1);
      break;
    case 2:
      leave(state_.Group1Pads, k);
      join(state_.Group2Pads, this, k);
      state_.ShowGroupImage(Index, 2);
      break;
    default:
      break;
  }
  Voices = nval > 0 ? 1 : 0;
}

void preset::PAD(const std::string& nval) {
  mPAD = nval;
  state_.SetPadTooltip(Index, nval);
}

void preset::Clear(int32_t indx, int32_t RKey, const std::string& PadName, int32_t Group) {
  for (auto& entry : layers_) entry.item->stopd();
  Index = indx;
  offset = 0;
  lenght = 0;
  RootKey = RKey;
  PAD(PadName);
  KeyStart = 0;
  KeyEnd = 0;
  Grp(Group);
  Voices = Group > 0 ? 1 : 0;
  while (Count() > 0) layers_.Remove(1);
}

Layer* preset::add(int32_t VelStart, double VolLeft, double Volright, const std::string& filename,
                   const std::string& path) {
  auto layer = std::make_unique<Layer>();
  layer->VelStart = VelStart;
  layer->filename = filename;
  layer->path = path;
  layer->VolLeft = VolLeft;
  layer->Volright = Volright;
  layer->parent = this;
  if (!layer->CBuffer(path + "/" + filename)) return nullptr;
  // A key can only be taken after a layer was removed from the middle: then the next free
  // number keeps the keys unique.
  int32_t n = Count();
  while (layers_.contains(itemKey(n))) ++n;
  layer->key = itemKey(n);
  Layer* added = layer.get();
  layers_.add(std::move(layer), added->key);
  return added;
}

Layer* preset::Item(int32_t position) {
  auto* entry = layers_.find(position);
  return entry == nullptr ? nullptr : entry->get();
}

Layer* preset::Item(const std::string& key) {
  auto* entry = layers_.find(key);
  return entry == nullptr ? nullptr : entry->get();
}

}  // namespace varnkit
