// What importing a kit costs next to only decoding its samples: a Hydrogen kit of nine
// instruments with five layers each, every layer two seconds of 24-bit stereo FLAC.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "import/KitImport.h"
#include "platform/audio/SampleFile.h"
#include "tests/support/WavWriter.h"

namespace {

namespace fs = std::filesystem;
using varnkit::testing::TempDir;

constexpr int kRate = 44100;

// Memory as varnkit and varnkit-import keep it: freed sample memory is kept for the next.
const bool kProgramsMemory = [] {
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  return true;
}();

// A struck sound: noise under a falling envelope, as drum samples are.
void writeFlac(const fs::path& file, unsigned seed) {
  SF_INFO info{};
  info.samplerate = kRate;
  info.channels = 2;
  info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
  SNDFILE* f = sf_open(file.c_str(), SFM_WRITE, &info);
  if (f == nullptr) throw std::runtime_error("cannot write " + file.string());
  std::mt19937 noise(seed);
  std::uniform_real_distribution<float> u(-1, 1);
  std::vector<float> frames(2 * 2 * kRate);
  for (std::size_t i = 0; i < frames.size(); ++i)
    frames[i] = 0.8f * u(noise) * std::exp(-float(i / 2) / float(kRate / 4));
  sf_writef_float(f, frames.data(), 2 * kRate);
  sf_close(f);
}

struct BenchKit {
  BenchKit() {
    const int notes[9] = {36, 38, 42, 46, 50, 47, 43, 49, 51};
    std::ofstream xml(dir.path() / "drumkit.xml");
    xml << "<?xml version='1.0'?>\n<drumkit_info><name>Bench</name><instrumentList>";
    for (int i = 0; i < 9; ++i) {
      xml << "<instrument><id>" << i << "</id><name>Drum " << i << "</name><midiOutNote>"
          << notes[i] << "</midiOutNote><instrumentComponent><component_id>0</component_id>";
      for (int l = 0; l < 5; ++l) {
        const std::string name = "d" + std::to_string(i) + "_" + std::to_string(l) + ".flac";
        writeFlac(dir.path() / name, unsigned(10 * i + l));
        files.push_back((dir.path() / name).string());
        xml << "<layer><filename>" << name << "</filename><min>" << l * 0.2 << "</min><max>"
            << (l + 1) * 0.2 << "</max></layer>";
      }
      xml << "</instrumentComponent></instrument>";
    }
    xml << "</instrumentList></drumkit_info>\n";
  }
  TempDir dir;
  std::vector<std::string> files;
};

const BenchKit& benchKit() {
  static const BenchKit kit;
  return kit;
}

void DecodeOnly(benchmark::State& state) {
  const BenchKit& kit = benchKit();
  for (auto _ : state) {
    for (const std::string& file : kit.files) {
      auto decoded = varnkit::audio::decodeSampleFile(file, kRate);
      if (!decoded.ok()) state.SkipWithError(decoded.failure().text.c_str());
      benchmark::DoNotOptimize(decoded);
    }
  }
}
BENCHMARK(DecodeOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

void Import(benchmark::State& state) {
  const BenchKit& kit = benchKit();
  TempDir into;
  for (auto _ : state) {
    const auto outcome = varnkit::import::ImportKit({kit.dir.path(), into.path(), "Bench"},
                                                    [](const std::string&) { return true; });
    if (!outcome.ok) state.SkipWithError(outcome.error.c_str());
  }
}
BENCHMARK(Import)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
