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

// The kit-name box holds nameBox; message boxes are answered from answers, in order (vbYes
// when none is left), and recorded.
class FakeDialogs : public KitNameBox, public MessageBoxes {
 public:
  struct Shown {
    std::string prompt;
    int buttons;
    std::string title;
  };
  std::string KitNameText() const override { return nameBox; }
  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override {
    shown.push_back({prompt, buttons, title});
    if (answers.empty()) return (buttons & vbYesNo) == vbYesNo ? vbYes : vbOK;
    const int answer = answers.front();
    answers.erase(answers.begin());
    return answer;
  }

  std::string nameBox;
  std::vector<int> answers;
  std::vector<Shown> shown;
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
  FakeDialogs dialogs;
  OfflineAudio audio;
  TempDir app;  // the program folder: kit files and kit folders go here
  KitState state{WindowLink{pads, caption, dialogs, dialogs}, app.path().string()};
};

}  // namespace varnkit::testing
