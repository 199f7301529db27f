#include "kit/KitState.h"

#include "kit/Drumkit.h"

namespace varnkit {

KitState::KitState(const WindowLink& window, std::string appFolder)
    : window_(window), appFolder_(std::move(appFolder)) {
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
  window_.pads.SetPadTooltip(pad, text);
}

void KitState::ShowGroupImage(int32_t pad, int group) {
  checkPad(pad);
  window_.pads.ShowGroupImage(pad, group);
}

}  // namespace varnkit
