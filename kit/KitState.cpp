#include "kit/KitState.h"

#include "kit/Drumkit.h"

namespace varnkit {

KitState::KitState(PadView& pads, CaptionView& caption) : pads_(pads), caption_(caption) {
  usedRootKeys.fill(kFreeKey);
}

KitState::~KitState() = default;

Drumkit& KitState::kit() {
  if (!kit_) kit_ = std::make_unique<Drumkit>(*this);
  return *kit_;
}

void KitState::checkPad(int32_t pad) {
  if (pad < 0 || pad > 8)
    throw Error(Error::kNoSuchControl,
                "Control array element '" + std::to_string(pad) + "' doesn't exist");
}

void KitState::SetPadTooltip(int32_t pad, const std::string& text) {
  checkPad(pad);
  pads_.SetPadTooltip(pad, text);
}

void KitState::ShowGroupImage(int32_t pad, int group) {
  checkPad(pad);
  pads_.ShowGroupImage(pad, group);
}

}  // namespace varnkit
