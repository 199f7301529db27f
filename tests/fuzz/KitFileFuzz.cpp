// libFuzzer entry: any bytes as a kit file must load or fail with the kit's own error, and
// leave a consistent kit; what loaded must save, and load back from its own file the same.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "kit/Drumkit.h"
#include "platform/Error.h"
#include "tests/support/KitConsistency.h"

namespace {

varnkit::testing::KitFixture& fixture() {
  static auto* f = [] {
    auto* made = new varnkit::testing::KitFixture;
    made->sample("a.wav", 0.1f, 10);
    made->sample("b.wav", 0.2f, 10);
    // The seed's sample folder, R below the program folder, holds samples too, so that the
    // fuzzer's kits have layers to save and load again.
    std::filesystem::create_directories(made->app.path() / "R");
    for (const char* name : {"a.wav", "B.WAV"})
      varnkit::testing::writeFile(
          made->app.path() / "R" / name,
          varnkit::testing::makeWav(varnkit::testing::constant(0.3f, 10), {}));
    return made;
  }();
  return *f;
}

// What a kit file keeps of a kit: the pads that have layers, with their names, keys,
// groups and layers.
std::string described(varnkit::Drumkit& kit) {
  std::string d;
  for (int16_t i = 0; i < 9; ++i) {
    varnkit::preset& pad = kit.Instrument(i);
    if (pad.Count() == 0) continue;
    d += std::to_string(i) + "|" + pad.PAD() + "|" + std::to_string(pad.RootKey) + "|" +
         std::to_string(pad.Grp());
    for (const auto& entry : pad.layers())
      d += "|" + entry.item->filename + ":" + std::to_string(entry.item->VelStart);
    d += "\n";
  }
  return d;
}

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

// Saves the kit as "again" and loads it back: the same kit must come back.
void saveAndLoadAgain(varnkit::testing::KitFixture& f) {
  const std::string before = described(f.kit());
  f.kit().Kitname = f.dialogs.nameBox = "again";
  f.dialogs.shown.clear();
  try {
    f.kit().SaveKit();
  } catch (const varnkit::Error& e) {
    fail("a loaded kit did not save", e.text());
  }
  for (const auto& shown : f.dialogs.shown)
    if (shown.prompt.rfind("This will destroy", 0) != 0)
      fail("a loaded kit did not save", shown.prompt);
  f.kit().ReadKit(f.app.file("again.txt"));
  if (const std::string after = described(f.kit()); after != before)
    fail("the saved kit loads back otherwise", before + "---\n" + after);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& f = fixture();
  const std::string file = f.app.file("fuzz.txt");
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  try {
    f.kit().ReadKit(file);
  } catch (const varnkit::Error&) {
    return 0;  // only a file that cannot be opened fails as a whole
  }
  const std::string problem = varnkit::testing::kitInconsistency(f.state, f.pads);
  if (!problem.empty()) fail("inconsistent kit", problem);
  saveAndLoadAgain(f);
  f.audio.device->render(64);  // lets the mixer hand back the buffers the load let go
  return 0;
}
