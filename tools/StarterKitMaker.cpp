#include "tools/StarterKitMaker.h"

#include <sndfile.h>
#include <unistd.h>

#include <functional>
#include <vector>

#include "kit/Drumkit.h"
#include "platform/Error.h"
#include "kit/KitState.h"
#include "platform/audio/Device.h"
#include "platform/files/Lookup.h"
#include "tools/DrumSynth.h"

namespace varnkit::tools {
namespace {
namespace fs = std::filesystem;

struct Layer {
  int velStart;
  std::function<std::vector<float>(float)> make;
};

struct Pad {
  const char* name;
  int rootKey;
  int group;
  std::vector<Layer> layers;
};

bool writeWav(const fs::path& file, const std::vector<float>& samples) {
  SF_INFO info{};
  info.samplerate = int(kSynthRate);
  info.channels = 1;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* f = sf_open(file.c_str(), SFM_WRITE, &info);
  if (f == nullptr) return false;
  const auto written = sf_write_float(f, samples.data(), sf_count_t(samples.size()));
  return sf_close(f) == 0 && written == sf_count_t(samples.size());
}

std::vector<Pad> drums() {
  return {
      {"Kick", 36, 0, {{0, [](float s) { return kick(s); }}, {90, [](float) { return kick(1); }}}},
      {"Snare",
       38,
       0,
       {{0, [](float s) { return snare(s); }}, {90, [](float) { return snare(1); }}}},
      {"HatClosed", 42, 1, {{0, [](float s) { return hihat(false, s); }}}},
      {"HatOpen", 46, 1, {{0, [](float s) { return hihat(true, s); }}}},
      {"TomHigh", 50, 0, {{0, [](float s) { return tom(196, s); }}}},
      {"TomMid", 47, 0, {{0, [](float s) { return tom(147, s); }}}},
      {"TomLow", 43, 0, {{0, [](float s) { return tom(110, s); }}}},
      {"Crash",
       49,
       0,
       {{0, [](float s) { return crash(s); }}, {100, [](float) { return crash(1); }}}},
      {"Ride", 51, 0, {{0, [](float s) { return ride(s); }}}},
  };
}

bool makeKit(const fs::path& app, std::string& why) {
  const fs::path scratch =
      fs::temp_directory_path() / ("varnkit-starter-" + std::to_string(getpid()));
  fs::create_directories(scratch);
  Headless window("default");
  auto device = audio::Device::openOffline(kSynthRate);
  KitState state(window.link(), app.string());
  state.setSoundDevice(device.get());
  Drumkit& kit = state.kit();
  const auto pads = drums();
  for (std::size_t i = 0; i < pads.size(); ++i) {
    preset& pad = kit.Instrument(int16_t(i));
    pad.PAD(pads[i].name);
    pad.RootKey = pads[i].rootKey;
    pad.Grp(pads[i].group);
    for (const Layer& layer : pads[i].layers) {
      // A soft layer is made softer than a hard one, as its velocity range says.
      const float strength = layer.velStart == 0 && pads[i].layers.size() > 1 ? 0.55f : 0.85f;
      const std::string file =
          std::string(pads[i].name) + (layer.velStart > 0 ? "Hard" : "") + ".wav";
      if (!writeWav(scratch / file, layer.make(strength))) {
        why = "cannot write " + (scratch / file).string();
        fs::remove_all(scratch);
        return false;
      }
      if (pad.add(layer.velStart, 0, 0, file, scratch.string()) == nullptr) {
        why = "cannot load " + (scratch / file).string();
        fs::remove_all(scratch);
        return false;
      }
    }
  }
  kit.Kitname = "default";
  kit.SaveKit();
  fs::remove_all(scratch);
  if (!window.refused.empty()) {
    why = "the kit folder " + app.string() + " holds a default kit already (" +
          files::FileIgnoringCase(app.string(), "default.txt") +
          "); the starter kit was not saved over it";
    return false;
  }
  if (!fs::exists(app / "default.txt")) why = "default.txt was not written into " + app.string();
  return fs::exists(app / "default.txt");
}

}  // namespace

bool MakeStarterKit(const std::filesystem::path& folder, std::string& why) {
  try {
    return makeKit(folder, why);
  } catch (const std::exception& e) {
    why = e.what();
    return false;
  }
}

}  // namespace varnkit::tools
