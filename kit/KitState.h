#pragma once
// The program-wide kit state: the one kit, the unsaved-changes flag, the root-key claims of a
// load, the two mute-group lists, and the links to the window and the sound device. The
// program makes one; tests make their own.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "kit/Collection.h"
#include "kit/WindowLink.h"

namespace varnkit {

namespace audio {
class Device;
}
class Drumkit;
class preset;

// All members: user-interface thread.
class KitState {
 public:
  static constexpr int8_t kFreeKey = -1;

  // appFolder: the folder kits are saved in and loaded from, without a trailing "/".
  KitState(const WindowLink& window, std::string appFolder);
  ~KitState();
  KitState(const KitState&) = delete;
  KitState& operator=(const KitState&) = delete;

  // The one kit, made (and cleared to the default pads) on first use.
  Drumkit& kit();

  // The device layers make their buffers on; null until the program has opened one.
  audio::Device* soundDevice() const { return device_; }
  void setSoundDevice(audio::Device* device) { device_ = device; }

  // Pad view and caption, with the window's rule that only pads 0 to 8 exist (Error 340).
  void SetPadTooltip(int32_t pad, const std::string& text);
  void ShowGroupImage(int32_t pad, int group);
  void SetCaption(const std::string& caption) { window_.caption.SetCaption(caption); }
  std::string KitNameText() const { return window_.nameBox.KitNameText(); }
  int MsgBox(const std::string& prompt, int buttons, const std::string& title) {
    return window_.boxes.MsgBox(prompt, buttons, title);
  }
  const std::string& appFolder() const { return appFolder_; }

  // The kit has changes that were not saved.
  bool kitChanged = false;
  // Per note number: the pad that claimed it while loading a kit, or kFreeKey.
  std::array<int8_t, 128> usedRootKeys;
  // The pads of mute group 1 and 2, in the order they joined, under the keys I0 to I8.
  Collection<preset*> Group1Pads;
  Collection<preset*> Group2Pads;

 private:
  static void checkPad(int32_t pad);

  WindowLink window_;
  std::string appFolder_;
  audio::Device* device_ = nullptr;
  std::unique_ptr<Drumkit> kit_;  // last member: its pads leave the group lists before they go
};

}  // namespace varnkit
