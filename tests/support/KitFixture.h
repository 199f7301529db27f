#pragma once
// A kit state wired to recording stand-ins for the window and to an offline sound device.

#include <array>
#include <string>
#include <vector>

#include "kit/Drumkit.h"
#include "kit/KitState.h"
#include "kit/WindowLink.h"
#include "platform/audio/PlainPlayer.h"
#include "tests/support/AudioFixture.h"

namespace varnkit::testing {

class RecordingPadView : public PadView {
 public:
  void SetPadTooltip(int pad, const std::string& text) override { tooltips[pad] = text; }
  void ShowGroupImage(int pad, int group) override { groups[pad] = group; }

  std::array<std::string, 9> tooltips;
  std::array<int, 9> groups{-1, -1, -1, -1, -1, -1, -1, -1, -1};  // -1: never shown
};

class RecordingCaption : public CaptionView {
 public:
  void SetCaption(const std::string& text) override { captions.push_back(text); }
  std::vector<std::string> captions;
};

class KitFixture {
 public:
  KitFixture() {
    state.setSoundDevice(audio.device.get());
    audio::PlainPlayer::useDevice(audio.device.get());
  }
  ~KitFixture() { audio::PlainPlayer::useDevice(nullptr); }

  // Writes a mono 16-bit sample holding one constant value; returns its file name.
  std::string sample(const std::string& name, float value, uint64_t frames = 44100) {
    writeFile(audio.dir.path() / name, makeWav(constant(value, frames), {}));
    return name;
  }
  std::string folder() const { return audio.dir.path().string(); }
  Drumkit& kit() { return state.kit(); }

  RecordingPadView pads;
  RecordingCaption caption;
  OfflineAudio audio;
  KitState state{pads, caption};
};

}  // namespace varnkit::testing
