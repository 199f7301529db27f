// Mixer cost per voice and frame with many buffers sounding at once.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "platform/audio/Device.h"
#include "tests/support/WavWriter.h"

namespace {

using namespace varnkit;

void BM_MixVoices(benchmark::State& state) {
  const auto voices = int(state.range(0));
  const uint16_t channels = uint16_t(state.range(1));
  constexpr uint32_t kBlock = 256;
  testing::TempDir dir;
  auto device = audio::Device::openOffline(44100);
  std::vector<std::unique_ptr<audio::SoundBuffer>> buffers;
  const auto samples = testing::sine(220.0, 0.01, 44100, 44100 * channels);
  for (int i = 0; i < voices; ++i) {
    const std::string path = dir.file("v" + std::to_string(i) + ".wav");
    testing::writeFile(path, testing::makeWav(samples, {44100, channels, 16, false}));
    audio::WaveFormat f;
    auto b = device->CreateSoundBufferFromFile(path, {audio::DSBCAPS_CTRLVOLUME, 0}, f);
    if (!b.ok()) {
      state.SkipWithError(b.failure().text.c_str());
      return;
    }
    (void)b.value()->SetVolume(-600);
    (void)b.value()->Play(audio::DSBPLAY_LOOPING);
    buffers.push_back(std::move(b).value());
  }
  std::vector<float> out(2 * kBlock);
  for (auto _ : state) {
    device->engine().render(out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["s_per_voice_frame"] =
      benchmark::Counter(double(voices) * kBlock, benchmark::Counter::kIsIterationInvariantRate |
                                                      benchmark::Counter::kInvert);
}
BENCHMARK(BM_MixVoices)->Args({64, 1})->Args({64, 2})->Unit(benchmark::kMicrosecond);

}  // namespace
