// How loading a sample compares with merely reading its bytes: the decoder should cost no more
// than the disk read does, and resampling shows what a rate mismatch adds.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "platform/audio/SampleFile.h"
#include "tests/support/WavWriter.h"

namespace {

using varnkit::testing::TempDir;

// Ten seconds of 16-bit stereo at 44100 Hz, written once for all benchmarks.
struct BenchFile {
  BenchFile() {
    const auto left = varnkit::testing::sine(440, 0.5, 44100, 441000);
    const auto right = varnkit::testing::sine(660, 0.5, 44100, 441000);
    std::vector<float> stereo;
    stereo.reserve(left.size() * 2);
    for (size_t i = 0; i < left.size(); ++i) stereo.insert(stereo.end(), {left[i], right[i]});
    path = dir.file("bench.wav");
    varnkit::testing::writeFile(path, varnkit::testing::makeWav(stereo, {44100, 2, 16}));
    bytes = int64_t(std::filesystem::file_size(path));
  }
  TempDir dir;
  std::string path;
  int64_t bytes = 0;
};

const BenchFile& benchFile() {
  static const BenchFile file;
  return file;
}

void RawRead(benchmark::State& state) {
  const BenchFile& file = benchFile();
  for (auto _ : state) {
    std::ifstream in(file.path, std::ios::binary);
    std::vector<char> buffer(size_t(file.bytes));
    in.read(buffer.data(), file.bytes);
    if (in.gcount() != file.bytes) throw std::runtime_error("short read");
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * file.bytes);
}

void Decode(benchmark::State& state) {
  const BenchFile& file = benchFile();
  const auto rate = uint32_t(state.range(0));
  for (auto _ : state) {
    auto decoded = varnkit::audio::decodeSampleFile(file.path, rate);
    if (!decoded.ok()) throw std::runtime_error(decoded.failure().text);
    benchmark::DoNotOptimize(decoded.value().data.samples.data());
  }
  state.SetBytesProcessed(state.iterations() * file.bytes);
}

BENCHMARK(RawRead)->Unit(benchmark::kMillisecond);
BENCHMARK(Decode)->ArgName("deviceRate")->Arg(44100)->Arg(48000)->Unit(benchmark::kMillisecond);

}  // namespace
