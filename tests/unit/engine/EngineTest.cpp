// The engine on its own, with kits of constant or ramp samples, so the rendered sum tells which
// layers sound, from where in their sample, at what gain, and when they fall silent. Every way
// events reach the engine must give the same samples, each onset exactly at its event's frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/Engine.h"

namespace varnkit::engine {
namespace {

constexpr uint32_t kRate = 8000;
constexpr uint32_t kFade = kRate / 500;  // 2 ms
constexpr uint32_t kNever = UINT32_MAX;
constexpr auto hit = &Event::padHit;
constexpr auto stop = &Event::padStop;
constexpr auto note = &Event::noteOn;

// The level law worked out here on its own, so a wrong law in the engine shows.
float g(int v) {
  return float(std::pow(10.0, std::floor(-(4000.0 - 4000.0 / 127.0 * v)) / 2000.0));
}

struct Layer {
  float value;
  int32_t lo = 0, hi = 127;
  float slope = 0.0f;  // a ramp tells how far into its sample a frame is
  uint32_t length = 4000;
  bool stereo = false;  // the right side is the left negated
};
struct Pad {
  int32_t root, group;
  std::vector<Layer> layers;
};
struct KitSpec {
  std::vector<Pad> pads;
  bool learning = false;
};

std::unique_ptr<KitDescription> build(const KitSpec& spec, std::vector<Voice*>& made) {
  auto kit = std::make_unique<KitDescription>();
  kit->learning = spec.learning;
  for (const Pad& p : spec.pads) {
    KitPad& pad = kit->pads.emplace_back();
    pad.rootKey = p.root;
    pad.group = p.group;
    for (const Layer& l : p.layers) {
      Sample s{{}, l.stereo ? 2u : 1u, l.length};
      for (uint32_t i = 0; i < l.length; ++i) {
        s.samples.push_back(l.value + l.slope * float(i));
        if (l.stereo) s.samples.push_back(-s.samples.back());
      }
      made.push_back(new Voice(std::move(s)));
      pad.layers.push_back({made.back(), l.lo, l.hi});
    }
  }
  return kit;
}

// What a scene should sound like: one layer's sound from frame `from`.
struct Sound {
  float value, gain;
  uint32_t from;
  uint32_t until = kNever;  // stopped: fades out to nothing over the fade
  float slope = 0.0f;
  uint32_t length = kNever;  // played to its end: silent from there, with no fade
  bool stereo = false;
};

void expectSounds(const std::vector<float>& out, const std::vector<Sound>& sounds, uint32_t fade) {
  for (uint32_t t = 0; t < out.size() / 2; ++t) {
    float l = 0.0f, r = 0.0f;
    for (const Sound& s : sounds) {
      if (t < s.from || t - s.from >= s.length) continue;
      float level = s.gain * (s.value + s.slope * float(t - s.from));
      if (t >= s.until) level *= t - s.until < fade ? float(fade - 1 - (t - s.until)) / fade : 0.0f;
      l += level;
      r += s.stereo ? -level : level;
    }
    l = std::clamp(l, -1.0f, 1.0f), r = std::clamp(r, -1.0f, 1.0f);
    if (std::abs(out[2 * t] - l) > 1e-6f || std::abs(out[2 * t + 1] - r) > 1e-6f) {
      ADD_FAILURE() << "frame " << t << ": " << out[2 * t] << ", " << out[2 * t + 1]
                    << " instead of " << l << ", " << r;
      return;
    }
  }
}

// A plugin's events inside the block; the MIDI thread's on render's timeline; the window's at
// the start of the next block; the window's at a due frame.
enum class Path { InBlock, Live, NextBlock, AtDue };

struct Journey {
  KitSpec kit;
  std::vector<Event> events;  // in frame order
  std::vector<Sound> sounds;
  uint32_t frames;
};

// An engine playing a journey block by block, each event reaching it by one path. It lets go
// of the kit's voices as their maker would.
class Player {
 public:
  Player(const Journey& j, uint32_t rate, Path path, uint32_t block = 64)
      : out(2 * j.frames), engine_(rate), events_(j.events), path_(path), block_(block) {
    engine_.publish(build(j.kit, voices_));
  }
  ~Player() {
    for (Voice* v : voices_) engine_.release(v);
  }
  std::vector<float> out;

  // Renders the next block; false once every frame is rendered.
  bool step() {
    if (done_ >= out.size() / 2) return false;
    uint32_t end = std::min(done_ + block_, uint32_t(out.size() / 2));
    // The window's events come as blocks begin: blocks then end where the next is due.
    for (std::size_t i = next_; path_ == Path::NextBlock && i < events_.size(); ++i)
      if (events_[i].frame > done_) {
        end = std::min(end, events_[i].frame);
        break;
      }
    std::vector<Event> inBlock;
    for (; next_ < events_.size() && events_[next_].frame < end; ++next_) {
      Event e = events_[next_];
      if (path_ == Path::AtDue) engine_.setDue(e.frame);
      EXPECT_TRUE(path_ == Path::InBlock ||
                  (path_ == Path::Live ? engine_.postLive(e) : engine_.post(e)));
      e.frame -= done_;
      inBlock.push_back(e);
    }
    float* at = out.data() + 2 * std::size_t(done_);
    if (path_ == Path::InBlock)
      engine_.render(at, end - done_, inBlock);
    else if (path_ == Path::NextBlock)
      engine_.render(at, end - done_);
    else
      engine_.render(at, end - done_, done_);
    done_ = end;
    return true;
  }

 private:
  Engine engine_;
  std::vector<Voice*> voices_;
  std::vector<Event> events_;
  Path path_;
  uint32_t block_;
  std::size_t next_ = 0;
  uint32_t done_ = 0;
};

// The same journey with every pad hit played by the pad's note instead.
Journey byNote(Journey j) {
  for (Event& e : j.events)
    if (e.kind == Event::Kind::PadHit)
      e = note(uint8_t(j.kit.pads[e.key].root), e.velocity, e.frame);
  return j;
}

std::vector<float> play(const Journey& j, uint32_t rate, Path path, uint32_t block = 64) {
  for (Player player(j, rate, path, block);;)
    if (!player.step()) return player.out;
}

// Pads 0 and 1 are group 1, 2 and 3 group 2, 4 and 5 in none. At frame 300 pad 0 starts and
// is cut by pad 1's hit before it sounds: no fade of it may be heard.
Journey groups() {
  return {{{{36, 1, {{0.01f}}},
            {37, 1, {{0.02f}}},
            {38, 2, {{0.04f}}},
            {39, 2, {{0.08f}}},
            {40, 0, {{0.16f}}},
            {41, 0, {{0.32f}}}}},
          {hit(0, 100, 0), hit(2, 100, 0), hit(4, 100, 0), hit(5, 100, 0), hit(1, 80, 100),
           hit(3, 60, 200), hit(0, 127, 300), hit(1, 127, 300)},
          {{0.01f, g(100), 0, 100},
           {0.04f, g(100), 0, 200},
           {0.16f, g(100), 0},
           {0.32f, g(100), 0},
           {0.02f, g(80), 100, 300},
           {0.08f, g(60), 200},
           {0.02f, g(127), 300}},
          400};
}

// Pad 0 is a ramp, so its restart from the beginning and its old sound's tail both show; the
// restart comes one frame into a block.
Journey retrigger() {
  return {{{{36, 0, {{0.1f, 0, 127, 1e-4f}}}, {38, 0, {{0.05f, 0, 127, 0.0f, 4000, true}}}}},
          {hit(0, 100, 0), hit(1, 64, 0), hit(0, 127, 129), stop(0, 300), stop(0, 350),
           stop(1, 400), hit(1, 127, 500), stop(1, 500)},
          {{0.1f, g(100), 0, 129, 1e-4f},
           {0.1f, g(127), 129, 300, 1e-4f},
           {0.05f, g(64), 0, 400, 0.0f, kNever, true}},
          600};
}

void check(const Journey& j, Path path, bool notes = false) {
  expectSounds(play(notes ? byNote(j) : j, kRate, path), j.sounds, kFade);
}

class Scene : public testing::TestWithParam<std::tuple<Path, bool>> {};

// Pad 0's layers overlap at 90..100; pad 1 has none below 50 and shares group 1 with pad 2.
TEST_P(Scene, AHitPlaysTheFirstLayerHoldingItsVelocityOrOnlyStopsWhenNoneDoes) {
  check({{{{36, 0, {{0.01f, 0, 40}, {0.02f, 41, 100}, {0.04f, 90, 127}}},
           {38, 1, {{0.1f, 50, 127}}},
           {40, 1, {{0.2f}}}}},
         {hit(0, 40, 0), hit(0, 41, 100), hit(0, 100, 200), hit(0, 101, 300), hit(2, 127, 400),
          hit(1, 49, 500), hit(1, 127, 600), hit(1, 10, 700)},
         {{0.01f, g(40), 0, 100},
          {0.02f, g(41), 100, 200},
          {0.02f, g(100), 200, 300},
          {0.04f, g(101), 300},
          {0.2f, g(127), 400, 500},
          {0.1f, g(127), 600, 700}},
         800},
        std::get<0>(GetParam()), std::get<1>(GetParam()));
}

TEST_P(Scene, AHitOfAGroupPadSilencesTheOthersOfItsGroupAfterAFade) {
  check(groups(), std::get<0>(GetParam()), std::get<1>(GetParam()));
}

TEST_P(Scene, ARetriggerRestartsFromTheBeginningAsTheOldSoundFadesAndAStopFadesOut) {
  check(retrigger(), std::get<0>(GetParam()), std::get<1>(GetParam()));
}

const auto kPaths = testing::Values(Path::InBlock, Path::Live, Path::NextBlock, Path::AtDue);

std::string nameOf(Path p) {
  return std::array{"InBlock", "Live", "NextBlock", "AtDue"}[int(p)];
}

INSTANTIATE_TEST_SUITE_P(Paths, Scene, testing::Combine(kPaths, testing::Bool()),
                         [](const auto& info) {
                           return nameOf(std::get<0>(info.param)) +
                                  (std::get<1>(info.param) ? "ByNote" : "ByPad");
                         });

class NoteScene : public testing::TestWithParam<Path> {};

// Pads 0 and 1 share note 36 and together clip; pads 2 and 3 share note 38 and group 1, so
// the later one's hit cuts the earlier before it sounds.
TEST_P(NoteScene, ANoteHitsEveryPadOnItAndANoteOffOrANoteNoPadHoldsDoesNothing) {
  check({{{{36, 0, {{0.5f, 0, 127, 0.0f, 100, true}}},
           {36, 0, {{0.7f, 0, 127, 0.0f, 100, true}}},
           {38, 1, {{0.04f}}},
           {38, 1, {{0.08f}}},
           {40, 0, {{0.16f}}}}},
         {note(36, 127, 0), note(38, 100, 120), note(37, 127, 150), note(40, 0, 150),
          note(38, 0, 150), note(40, 90, 200)},
         {{0.5f, 1.0f, 0, kNever, 0.0f, 100, true},
          {0.7f, 1.0f, 0, kNever, 0.0f, 100, true},
          {0.08f, g(100), 120},
          {0.16f, g(90), 200}},
         300},
        GetParam());
}

TEST_P(NoteScene, NotesPlayNothingWhileANoteIsLearnedButPadHitsDo) {
  check({{{{36, 0, {{0.1f}}}}, true},
         {note(36, 127, 0), hit(0, 100, 100), note(36, 127, 150)},
         {{0.1f, g(100), 100}},
         200},
        GetParam());
}

INSTANTIATE_TEST_SUITE_P(Paths, NoteScene, kPaths,
                         [](const auto& info) { return nameOf(info.param); });

// Two engines at different rates, with different kits, rendered block by block in turn: any
// state the engines shared (a kit, a queue, a fade length, a gain table) would show.
// A mixer's channel per drum: each pad's own output has its sounds and their fades, cut by
// its group or its retrigger, and nothing of any other pad's; together they are the mix.
TEST(Engine, EachPadsOwnOutputCarriesItsSoundsWithTheirFadesAndNothingElse) {
  for (const Journey& j : {groups(), retrigger()}) {
    Engine engine(kRate);
    std::vector<Voice*> voices;
    engine.publish(build(j.kit, voices));
    const std::size_t pads = j.kit.pads.size();
    std::vector<float> mix(2 * j.frames);
    std::vector<std::vector<float>> own(pads + 1, std::vector<float>(2 * j.frames));
    for (uint32_t done = 0, next = 0; done < j.frames; done += 64) {
      const uint32_t n = std::min(64u, j.frames - done);
      std::vector<Event> inBlock;
      for (; next < j.events.size() && j.events[next].frame < done + n; ++next) {
        inBlock.push_back(j.events[next]);
        inBlock.back().frame -= done;
      }
      // One output more than there are pads, and one left out, as a host may give them.
      std::vector<float*> buses;
      for (auto& o : own) buses.push_back(o.data() + 2 * done);
      buses[1] = nullptr;
      engine.render(mix.data() + 2 * done, n, inBlock, buses);
    }
    for (std::size_t p = 0; p < pads; ++p) {
      if (p == 1) continue;
      std::vector<Sound> ofPad;
      for (const Sound& sound : j.sounds)
        if (sound.value == j.kit.pads[p].layers[0].value) ofPad.push_back(sound);
      SCOPED_TRACE("pad " + std::to_string(p));
      expectSounds(own[p], ofPad, kFade);
    }
    EXPECT_EQ(own[pads], std::vector<float>(2 * j.frames)) << "no pad of that number";
    expectSounds(mix, j.sounds, kFade);
    for (Voice* v : voices) engine.release(v);
  }
}

TEST(Engine, TwoEnginesSideBySideEachSoundExactlyAsItWouldAlone) {
  const Journey a = groups(), b = byNote(retrigger());
  constexpr uint32_t kOtherRate = 44100;
  Player pa(a, kRate, Path::AtDue), pb(b, kOtherRate, Path::Live, 100);
  for (bool more = true; more;) {
    more = pa.step();
    more = pb.step() || more;
  }
  EXPECT_EQ(pa.out, play(a, kRate, Path::AtDue));
  EXPECT_EQ(pb.out, play(b, kOtherRate, Path::Live, 100));
  expectSounds(pa.out, a.sounds, kFade);
  expectSounds(pb.out, b.sounds, kOtherRate / 500);
}

// Pads 0 and 1 of kit k hold 0.1 each (k even) or 0.2 (k odd) and end within a block, so a
// block decided on parts of two kits would hold 0.3. Pad 2's long silent sound is still
// playing when its voice is released: freed too early, AddressSanitizer stops the test.
TEST(Engine, AKitPublishedWhileBlocksRenderIsTakenWholeAndNoVoiceIsFreedWhileItPlays) {
  Engine engine(kRate);
  std::vector<Voice*> voices;
  const auto publish = [&](int k) {
    const float v = k % 2 == 0 ? 0.1f : 0.2f;
    std::vector<Voice*> made;
    engine.publish(build({{{36, 0, {{v, 0, 127, 0.0f, 48}}},
                           {37, 0, {{v, 0, 127, 0.0f, 48}}},
                           {38, 0, {{0.0f, 0, 127, 0.0f, 1 << 16}}}}},
                         made));
    for (Voice* old : std::exchange(voices, made)) engine.release(old);
    engine.collect();
  };
  const std::array hits{hit(0, 127, 0), hit(1, 127, 0), hit(2, 127, 0)};
  std::array<float, 128> out{};
  // Both pads' sum, or -1 when the block is not what one kit plays.
  const auto render = [&] {
    engine.render(out.data(), 64, hits);
    for (std::size_t i = 0; i < out.size(); ++i)
      if (out[i] != (i < 96 ? out[0] : 0.0f)) return -1.0f;
    return out[0];
  };
  publish(0);
  // Let go of while their kit still names them: they play on, and are not freed under it.
  for (Voice* v : std::exchange(voices, {})) engine.release(v);
  for (int i = 0; i < 3; ++i, engine.collect()) EXPECT_NEAR(render(), 0.2f, 1e-6f);
  publish(1);
  EXPECT_NEAR(render(), 0.4f, 1e-6f);

  std::atomic<bool> done{false};
  int low = 0, high = 0, torn = 0;  // the render thread's alone until it is joined
  std::thread renderer([&] {
    while (!done.load()) {
      const float sum = render();
      ++(std::abs(sum - 0.2f) < 1e-6f ? low : std::abs(sum - 0.4f) < 1e-6f ? high : torn);
    }
  });
  for (int k = 2; k < 200; ++k, std::this_thread::sleep_for(std::chrono::microseconds(200)))
    publish(k);
  done = true;
  renderer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_GT(low, 0);
  EXPECT_GT(high, 0);
  // Kit 199's voices are handed on only once kit 200 is taken; the engine's end frees them.
  publish(200);
  EXPECT_NEAR(render(), 0.2f, 1e-6f);
  for (Voice* v : voices) engine.release(v);
}

}  // namespace
}  // namespace varnkit::engine
