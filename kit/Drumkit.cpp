#include "kit/Drumkit.h"

#include "platform/Error.h"
#include "kit/KitState.h"

namespace varnkit {

Drumkit::Drumkit(KitState& state) : state_(state) {
  Clear();
}

preset& Drumkit::slot(int i) {
  if (!pads_[std::size_t(i)]) pads_[std::size_t(i)] = std::make_unique<preset>(state_);
  return *pads_[std::size_t(i)];
}

preset& Drumkit::Instrument(int16_t Index) {
  if (Index < 0 || Index > 8) throw Error(Error::kSubscriptOutOfRange, "Subscript out of range");
  return slot(Index);
}

void Drumkit::Clear() {
  state_.kitChanged = false;
  for (int i = 0; i < 9; ++i) slot(i).Clear(i, kDefaultRootKeys[std::size_t(i)], "xxx", 0);
  state_.usedRootKeys.fill(KitState::kFreeKey);
}

}  // namespace varnkit
