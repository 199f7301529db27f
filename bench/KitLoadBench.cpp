// Loading a full kit: 9 pads x 8 layers of 2-second 44.1 kHz stereo samples, beside merely
// reading the same bytes.

#include <benchmark/benchmark.h>

#include <fstream>
#include <vector>

#include "kit/Drumkit.h"
#include "tests/support/KitFixture.h"

namespace {

using namespace varnkit;

constexpr int kPads = 9;
constexpr int kLayers = 8;

struct BigKit {
  BigKit() {
    const auto samples = testing::sine(220.0, 0.5, 44100, 2 * 44100 * 2);
    std::string text = "vst samples,Big," + f.folder() + ",VarnKit,\r\n";
    for (int pad = 0; pad < kPads; ++pad) {
      for (int layer = 0; layer < kLayers; ++layer) {
        const std::string name = "p" + std::to_string(pad) + "l" + std::to_string(layer) + ".wav";
        const auto bytes = testing::makeWav(samples, {44100, 2, 16, false});
        testing::writeFile(f.audio.dir.path() / name, bytes);
        files.push_back(f.audio.dir.file(name));
        totalBytes += bytes.size();
        text += std::to_string(pad + 1) + ",0,0,\t" + std::to_string(36 + pad) + ",P,\t" + name +
                "," + std::to_string(layer * 16) + ",0,0,0,0,0,0,0,\r\r\n";
      }
    }
    text += "-1 by Ned's VarnKit\r\n";
    kitFile = f.app.file("Big.txt");
    std::ofstream(kitFile, std::ios::binary) << text;
  }

  testing::KitFixture f;
  std::vector<std::string> files;
  std::string kitFile;
  int64_t totalBytes = 0;
};

BigKit& bigKit() {
  static BigKit kit;
  return kit;
}

void BM_LoadKit(benchmark::State& state) {
  BigKit& kit = bigKit();
  for (auto _ : state) {
    kit.f.kit().ReadKit(kit.kitFile);
    kit.f.audio.device->render(64);  // hands the previous kit's samples back for freeing
  }
  if (kit.f.kit().Instrument(8).Count() != kLayers) state.SkipWithError("the kit did not load");
  state.SetBytesProcessed(state.iterations() * kit.totalBytes);
}
BENCHMARK(BM_LoadKit)->Unit(benchmark::kMillisecond);

void BM_ReadKitSamples(benchmark::State& state) {
  BigKit& kit = bigKit();
  for (auto _ : state) {
    for (const std::string& file : kit.files) {
      std::ifstream in(file, std::ios::binary | std::ios::ate);
      std::vector<char> bytes(std::size_t(in.tellg()));
      in.seekg(0).read(bytes.data(), std::streamsize(bytes.size()));
      benchmark::DoNotOptimize(bytes.data());
    }
  }
  state.SetBytesProcessed(state.iterations() * kit.totalBytes);
}
BENCHMARK(BM_ReadKitSamples)->Unit(benchmark::kMillisecond);

}  // namespace
