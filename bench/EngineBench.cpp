// What the engine's render costs per voice and frame: a kit of nine pads hit again and again
// inside its blocks, so that every retrigger leaves a fading tail, and many voices sounding at
// once, each with mono and with stereo samples.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/Engine.h"
#include "engine/Level.h"

namespace {

using namespace varnkit::engine;

constexpr uint32_t kRate = 44100;
constexpr uint32_t kBlock = 256;
constexpr std::size_t kPads = 9;
constexpr std::size_t kPeriod = 48;  // blocks before the pattern of hits repeats
constexpr uint8_t kFirstKey = 36;

// Timed here rather than as one of the library's rates, which it would print in seconds.
void reportPerVoiceFrame(benchmark::State& state, std::chrono::steady_clock::time_point begin,
                         uint64_t voiceFrames) {
  const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - begin;
  state.counters["ns_per_voice_frame"] = voiceFrames > 0 ? took.count() / double(voiceFrames) : 0.0;
}

// A drum-like hit: noise and a sine under one exponential decay, different on each side.
Sample drum(uint32_t channels, uint64_t frames, double hz, uint32_t seed) {
  Sample s;
  s.channels = channels;
  s.frames = frames;
  s.samples.resize(frames * channels);
  uint32_t noise = seed;
  for (uint64_t i = 0; i < frames; ++i) {
    const double t = double(i) / kRate;
    const double decay = std::exp(-4.0 * t);
    for (uint32_t c = 0; c < channels; ++c) {
      noise = noise * 1664525u + 1013904223u;
      const double n = double(noise >> 8) / double(1u << 24) - 0.5;
      const double tone = std::sin(2.0 * M_PI * hz * (1.0 + 0.01 * c) * t);
      s.samples[i * channels + c] = float(0.5 * decay * (0.6 * tone + 0.4 * n));
    }
  }
  return s;
}

// A voice is counted where the engine mixes it: each pad sounds from its first hit on, and each
// hit on a pad already sounding leaves a tail of one fade. Checked against activeVoices().
struct KitModel {
  struct Tail {
    int64_t begin = 0;
    int64_t end = 0;
  };
  std::vector<int64_t> since = std::vector<int64_t>(kPads, -1);  // -1: the pad is silent
  std::vector<uint64_t> length = std::vector<uint64_t>(kPads, 0);
  std::vector<Tail> tails;
  bool voiceEnded = false;  // the pattern lets a voice play out, which the model does not follow

  // Follows the block starting at frame start; returns the voice-frames mixed in it and sets
  // active to what the engine should report after it.
  uint64_t block(int64_t start, const std::vector<std::pair<std::size_t, uint64_t>>& hits,
                 const std::vector<uint32_t>& frames, uint32_t fade, uint32_t& active) {
    uint64_t mixed = 0;
    const int64_t end = start + kBlock;
    for (std::size_t h = 0; h < hits.size(); ++h) {
      const auto [pad, voiceLength] = hits[h];
      const int64_t at = start + frames[h];
      if (since[pad] >= 0) {
        mixed += uint64_t(at - std::max(start, since[pad]));
        // A voice started at this very frame has sounded nothing, and leaves no tail.
        if (since[pad] < at) {
          const auto left = int64_t(length[pad]) - (at - since[pad]);
          tails.push_back({at, at + std::min<int64_t>(fade, left)});
        }
      }
      since[pad] = at;
      length[pad] = voiceLength;
    }
    active = 0;
    for (std::size_t pad = 0; pad < kPads; ++pad) {
      if (since[pad] < 0) continue;
      if (since[pad] + int64_t(length[pad]) <= end) voiceEnded = true;
      mixed += uint64_t(end - std::max(start, since[pad]));
      ++active;
    }
    for (const Tail& t : tails) mixed += uint64_t(std::min(end, t.end) - std::max(start, t.begin));
    std::erase_if(tails, [&](const Tail& t) { return t.end <= end; });
    active += uint32_t(tails.size());
    return mixed;
  }
};

struct KitScene {
  explicit KitScene(uint32_t channels) : engine(kRate) {
    auto kit = std::make_unique<KitDescription>();
    for (std::size_t p = 0; p < kPads; ++p) {
      KitPad pad;
      pad.rootKey = kFirstKey + int32_t(p);
      // Two velocity layers, so a hit sometimes stops one voice and starts another, and
      // sometimes restarts the one sounding; one to two seconds long.
      for (int32_t layer = 0; layer < 2; ++layer) {
        const auto frames = uint64_t(kRate * (1.0 + double(p) / 8.0)) + uint64_t(layer) * 999;
        voices.push_back(new Voice(
            drum(channels, frames, 60.0 * double(p + 1), uint32_t(p * 2 + uint32_t(layer) + 1))));
        pad.layers.push_back({voices.back(), layer == 0 ? 1 : 80, layer == 0 ? 79 : 127});
      }
      kit->pads.push_back(std::move(pad));
    }
    engine.publish(std::move(kit));
    // Hits at frames spread over the block, by note and by pad, soft and hard.
    for (std::size_t b = 0; b < kPeriod; ++b) {
      std::vector<Event> events;
      std::vector<std::size_t> pads;
      const auto hit = [&](std::size_t pad, uint32_t frame, int16_t velocity) {
        events.push_back(pad % 2 == 0 ? Event::noteOn(uint8_t(kFirstKey + pad), velocity, frame)
                                      : Event::padHit(uint8_t(pad), velocity, frame));
        pads.push_back(pad);
      };
      const auto velocity = int16_t(b % 3 == 0 ? 100 : 60);
      hit(b * 4 % kPads, uint32_t(b * 89 + 13) % kBlock, velocity);
      if (b % 2 == 1) hit((b * 7 + 2) % kPads, uint32_t(b * 151 + 71) % kBlock, int16_t(127));
      std::vector<std::size_t> order(events.size());
      for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
      std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
        return events[x].frame < events[y].frame;
      });
      Block block;
      for (const std::size_t i : order) {
        block.events.push_back(events[i]);
        const int32_t layer = events[i].velocity >= 80 ? 1 : 0;
        block.hits.push_back({pads[i], voices[pads[i] * 2 + std::size_t(layer)]->data.frames});
        block.frames.push_back(events[i].frame);
      }
      blocks.push_back(std::move(block));
    }
  }
  ~KitScene() {
    for (Voice* v : voices) engine.release(v);
  }

  struct Block {
    std::vector<Event> events;
    std::vector<std::pair<std::size_t, uint64_t>> hits;  // pad, length of the voice it starts
    std::vector<uint32_t> frames;
    uint64_t voiceFrames = 0;  // in the steady state
  };

  Engine engine;
  std::vector<Voice*> voices;
  std::vector<Block> blocks;
};

void BM_KitHits(benchmark::State& state) {
  KitScene scene(uint32_t(state.range(0)));
  std::vector<float> out(2 * kBlock);
  KitModel model;
  // Three periods: every pad sounds by the end of the first, and the next two must mix alike.
  std::vector<uint64_t> mixed(3 * kPeriod);
  for (std::size_t b = 0; b < mixed.size(); ++b) {
    const KitScene::Block& block = scene.blocks[b % kPeriod];
    scene.engine.render(out.data(), kBlock, block.events);
    uint32_t active = 0;
    mixed[b] = model.block(int64_t(b * kBlock), block.hits, block.frames, scene.engine.fadeFrames(),
                           active);
    if (model.voiceEnded) {
      state.SkipWithError("a voice plays to its end, which the count does not follow");
      return;
    }
    if (active != scene.engine.activeVoices()) {
      state.SkipWithError("the engine mixes other voices than the benchmark counts");
      return;
    }
    if (b >= 2 * kPeriod && mixed[b] != mixed[b - kPeriod]) {
      state.SkipWithError("the pattern of hits has no steady state");
      return;
    }
  }
  for (std::size_t b = 0; b < kPeriod; ++b) scene.blocks[b].voiceFrames = mixed[2 * kPeriod + b];

  uint64_t voiceFrames = 0;
  std::size_t b = 0;
  const auto begin = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const KitScene::Block& block = scene.blocks[b];
    scene.engine.render(out.data(), kBlock, block.events);
    benchmark::DoNotOptimize(out.data());
    voiceFrames += block.voiceFrames;
    b = b + 1 == kPeriod ? 0 : b + 1;
  }
  reportPerVoiceFrame(state, begin, voiceFrames);
  state.counters["voices"] = double(voiceFrames) / double(kBlock * state.iterations());
}
BENCHMARK(BM_KitHits)->ArgName("channels")->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Many voices at once, played one by one as a host that plays single voices does: the samples
// together are larger than a core's own caches, so this is the memory-bound end.
void BM_ManyVoices(benchmark::State& state) {
  const auto count = std::size_t(state.range(0));
  const auto channels = uint32_t(state.range(1));
  Engine engine(kRate);
  std::vector<Voice*> voices;
  for (std::size_t i = 0; i < count; ++i) {
    voices.push_back(new Voice(drum(channels, kRate, 220.0, uint32_t(i + 1))));
    Command gain;
    gain.op = Command::Op::SetGain;
    gain.voice = voices.back();
    gain.gain = gainOfLevel(-600);
    Command play;
    play.op = Command::Op::Play;
    play.voice = voices.back();
    play.looping = true;
    // Each voice starts at its own place, as voices started at different times would be.
    Command rewind;
    rewind.op = Command::Op::Rewind;
    rewind.voice = voices.back();
    rewind.frame = i * 997 % kRate;
    if (!engine.post(gain) || !engine.post(rewind) || !engine.post(play))
      state.SkipWithError("the command queue is full");
  }
  std::vector<float> out(2 * kBlock);
  engine.render(out.data(), kBlock);
  if (engine.activeVoices() != count) state.SkipWithError("not every voice sounds");
  const auto begin = std::chrono::steady_clock::now();
  for (auto _ : state) {
    engine.render(out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
  }
  reportPerVoiceFrame(state, begin, uint64_t(count) * kBlock * uint64_t(state.iterations()));
  for (Voice* v : voices) engine.release(v);
}
BENCHMARK(BM_ManyVoices)
    ->ArgNames({"voices", "channels"})
    ->Args({64, 1})
    ->Args({64, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
