// What varnkit-render costs: a three-minute groove at 120 beats a minute, four hits a beat
// across kick, snare and hi-hats, from a MIDI file through a kit of decaying hits into a 24-bit
// WAV file, the kit's load and the file's reading included. The figure is the real-time factor:
// seconds of audio made in a second.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "render/Render.h"
#include "tests/support/WavWriter.h"

namespace {

namespace fs = std::filesystem;
using namespace varnkit;

constexpr uint32_t kRate = 44100;
constexpr int kBeats = 360;  // three minutes at 120 beats a minute
constexpr uint32_t kPpq = 480;
constexpr std::size_t kNotes = kBeats / 4 * (16 + 3 + 2);  // each bar's hats, kicks and snares

// A hit: noise and a tone under one exponential decay, as long as a drum of its kind rings.
std::vector<float> drum(double seconds, double hz, double noise, uint32_t seed) {
  std::vector<float> s(std::size_t(seconds * kRate));
  for (std::size_t i = 0; i < s.size(); ++i) {
    seed = seed * 1664525u + 1013904223u;
    const double t = double(i) / kRate;
    const double n = double(seed >> 8) / double(1u << 24) - 0.5;
    s[i] = float(0.5 * std::exp(-5.0 * t / seconds) *
                 ((1 - noise) * std::sin(2 * M_PI * hz * t) + noise * 2 * n));
  }
  return s;
}

void put(std::vector<uint8_t>& out, uint32_t v, int n) {
  while (n-- > 0) out.push_back(uint8_t(v >> (8 * n)));
}

// The groove as a format 0 file: a hat on every sixteenth (open on a bar's last), kicks on
// the first and third beat and the and of the third, snares on the second and fourth.
std::vector<uint8_t> groove() {
  std::vector<uint8_t> body;
  for (int step = 0; step < kBeats * 4; ++step) {
    const int inBar = step % 16;
    std::vector<std::pair<uint8_t, uint8_t>> hits = {
        {uint8_t(inBar == 15 ? 46 : 42), uint8_t(inBar % 4 == 0 ? 110 : 70 + step % 3 * 10)}};
    if (inBar == 0 || inBar == 8 || inBar == 10)
      hits.push_back({36, uint8_t(inBar == 10 ? 90 : 127)});
    if (inBar == 4 || inBar == 12) hits.push_back({38, 120});
    for (std::size_t h = 0; h < hits.size(); ++h) {
      // The delta before a sixteenth's first hit, 120 ticks, as a variable-length quantity.
      if (h == 0 && step > 0)
        body.insert(body.end(), {0x80 | (120 >> 7), 120 & 0x7F});
      else
        body.push_back(0);
      body.insert(body.end(), {0x99, hits[h].first, hits[h].second});
    }
  }
  body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};
  put(file, kPpq, 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  put(file, uint32_t(body.size()), 4);
  file.insert(file.end(), body.begin(), body.end());
  return file;
}

struct Scene {
  Scene() {
    const fs::path dir = temp.path();
    std::ofstream(dir / "Groove.txt", std::ios::binary)
        << "vst samples,\r\r\nGroove,\r\r\nGroove,\r\r\nVarnKit,\r\r\n\r\r\n"
           "1,0,0,\t36,Kick,\tkick.wav,0,127,0,0,0,0,0,0,\r\r\n"
           "2,0,0,\t38,Snare,\tsnare.wav,0,127,0,0,0,0,0,0,\r\r\n"
           "3,0,0,\t42,Hat,\that.wav,0,127,0,0,0,0,1,1,\r\r\n"
           "4,0,0,\t46,Open,\topen.wav,0,127,0,0,0,0,1,1,\r\r\n"
           "-1 by Ned's VarnKit\r\n";
    fs::create_directories(dir / "Groove");
    const testing::WavSpec spec{kRate, 1, 24, false};
    testing::writeFile(dir / "Groove" / "kick.wav", testing::makeWav(drum(0.6, 55, 0.1, 1), spec));
    testing::writeFile(dir / "Groove" / "snare.wav",
                       testing::makeWav(drum(0.4, 190, 0.6, 2), spec));
    testing::writeFile(dir / "Groove" / "hat.wav",
                       testing::makeWav(drum(0.08, 7000, 0.9, 3), spec));
    testing::writeFile(dir / "Groove" / "open.wav",
                       testing::makeWav(drum(0.5, 6000, 0.9, 4), spec));
    testing::writeFile(dir / "groove.mid", groove());
    job.kit = dir / "Groove.txt";
    job.midi = dir / "groove.mid";
    job.output = dir / "groove.wav";
    job.format = render::SampleFormat::Pcm24;
  }
  testing::TempDir temp;
  render::RenderJob job;
};

void BM_RenderGroove(benchmark::State& state) {
  Scene scene;
  uint64_t frames = 0;
  const auto begin = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const render::RenderResult result = render::Render(scene.job);
    if (!result.ok()) {
      state.SkipWithError(result.error.c_str());
      return;
    }
    if (result.notesPlayed != kNotes || result.frames < uint64_t(kBeats) * kRate / 2) {
      state.SkipWithError("the groove did not play whole");
      return;
    }
    frames += result.frames;
  }
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begin;
  state.counters["realtime_factor"] = double(frames) / kRate / took.count();
  state.counters["audio_seconds"] = double(frames) / kRate / double(state.iterations());
}
BENCHMARK(BM_RenderGroove)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
