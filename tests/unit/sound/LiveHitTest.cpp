// Notes decided by the mixer on its own must sound exactly as the window's pad triggers do:
// one list of hits runs through both, on kits built alike, and the rendered sound must match.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "sound/Describe.h"
#include "sound/PadTrigger.h"
#include "tests/support/FakeStream.h"
#include "tests/support/KitFixture.h"

namespace varnkit {
namespace {

struct Hit {
  int note, velocity;
};

// Pads 0 and 1 share a note; 1 and 2 are group 1, 3 and 4 group 2; pad 3 has no layer below
// velocity 50; layers hold constants, so the sum tells which play.
void buildKit(testing::KitFixture& f) {
  struct Pad {
    int root, group;
    std::vector<std::pair<int, float>> layers;
  };
  const std::vector<Pad> pads{{36, 0, {{0, 0.1f}, {64, 0.2f}}},
                              {36, 1, {{0, 0.04f}}},
                              {38, 1, {{0, 0.05f}, {100, 0.06f}}},
                              {40, 2, {{50, 0.07f}}},
                              {41, 2, {{0, 0.08f}}}};
  for (std::size_t i = 0; i < pads.size(); ++i) {
    preset& pad = f.kit().Instrument(int16_t(i));
    pad.RootKey = pads[i].root;
    pad.Grp(pads[i].group);
    for (const auto& [vel, value] : pads[i].layers) {
      const std::string name = "p" + std::to_string(i) + "v" + std::to_string(vel) + ".wav";
      pad.add(vel, 0, 0, f.sample(name, value), f.folder());
    }
  }
}

const std::vector<Hit> kHits{{36, 40}, {36, 100}, {41, 90},  {38, 127}, {40, 30}, {41, 10},
                             {40, 90}, {38, 20},  {42, 127}, {36, 0},   {38, 64}, {40, 127}};
constexpr uint32_t kBlock = 256;

TEST(LiveHit, TheMixerDecidesEveryHitAsThePadTriggerDoes) {
  std::vector<float> byWindow, byMixer;
  {
    testing::KitFixture f;
    buildKit(f);
    for (const Hit& h : kHits) {
      // A note on at velocity 0 reaches the window as a note off: it plays nothing.
      for (int16_t i = 0; i < 9 && h.velocity > 0; ++i)
        if (f.kit().Instrument(i).RootKey == h.note) PlayPad(f.state, i, int16_t(h.velocity));
      const auto block = f.audio.device->render(kBlock);
      byWindow.insert(byWindow.end(), block.begin(), block.end());
    }
  }
  {
    testing::KitFixture f;
    buildKit(f);
    audio::Device& device = *f.audio.device;
    PublishKit(f.state, false);
    uint32_t frame = 0;
    for (const Hit& h : kHits) {
      ASSERT_TRUE(device.engine().postLive(
          engine::Event::noteOn(uint8_t(h.note), int16_t(h.velocity), frame)));
      const auto block = device.render(kBlock);
      byMixer.insert(byMixer.end(), block.begin(), block.end());
      frame += kBlock;
    }
    // While a note is being learned, notes play nothing.
    for (int16_t i = 0; i < 9; ++i) StopPad(f.state, i);
    PublishKit(f.state, true);
    device.render(kBlock);
    ASSERT_TRUE(device.engine().postLive(engine::Event::noteOn(36, 127, frame + kBlock)));
    for (float s : device.render(kBlock)) ASSERT_EQ(s, 0.0f);
  }
  ASSERT_EQ(byWindow.size(), byMixer.size());
  float loudest = 0;
  for (std::size_t i = 0; i < byWindow.size(); ++i) {
    ASSERT_EQ(byWindow[i], byMixer[i]) << "frame " << i / 2 << " of hit " << i / 2 / kBlock;
    loudest = std::max(loudest, byWindow[i]);
  }
  EXPECT_GT(loudest, 0.1f);  // the kit did sound
}

// The window swaps whole kits while the audio thread decides notes: every hit sounds one kit,
// never a mix of the old and the new, and nothing the audio thread reads is freed under it.
TEST(LiveHit, AKitChangedWhileNotesArriveNeverPlaysHalfOfIt) {
  testing::KitFixture f;
  audio::Device& device = *f.audio.device;
  const float levels[2][2] = {{0.1f, 0.01f}, {0.2f, 0.02f}};
  auto load = [&](int kit) {
    for (int16_t i = 0; i < 2; ++i) {
      StopPad(f.state, i);
      preset& pad = f.kit().Instrument(i);
      while (pad.Count() > 0) pad.Remove(1);
      pad.RootKey = 36;
      const std::string name = "k" + std::to_string(kit) + "p" + std::to_string(i) + ".wav";
      // Shorter than a block: at frame 200 only the block's own hit still sounds.
      pad.add(0, 0, 0, f.sample(name, levels[kit][i], 220), f.folder());
    }
  };
  load(0);
  PublishKit(f.state, false);
  std::atomic<bool> done{false};
  std::vector<float> heard;
  // The mixer's own rendering, as a stream's thread calls it: the device's offline render
  // would tidy up for the window's thread, which here is busy loading.
  std::thread audioThread([&] {
    std::vector<float> block(2 * kBlock);
    for (uint32_t frame = 0; !done.load(); frame += kBlock) {
      device.engine().postLive(engine::Event::noteOn(36, 127, frame));
      device.engine().render(block.data(), kBlock, frame);
      heard.push_back(block[2 * 200]);  // past the fade of what the hit cut
    }
  });
  for (int change = 1; change <= 200; ++change) {
    load(change % 2);
    PublishKit(f.state, false);
    device.engine().collect();
  }
  done = true;
  audioThread.join();
  const float whole[2] = {testing::pcm16(0.1f) + testing::pcm16(0.01f),
                          testing::pcm16(0.2f) + testing::pcm16(0.02f)};
  ASSERT_FALSE(heard.empty());
  for (float v : heard)
    EXPECT_TRUE(std::abs(v - whole[0]) < 1e-6f || std::abs(v - whole[1]) < 1e-6f) << v;
}

// A stream lost while notes keep coming from the MIDI thread: none of them sounds once a
// stream is back, and the notes played after the return sound at their own frame.
TEST(LiveHit, NotesThatCameWhileTheStreamWasGoneNeverSoundAfterItIsBack) {
  testing::KitFixture f;
  auto service = std::make_shared<testing::FakeService>();
  f.audio.device = testing::openFake(service);
  f.state.setSoundDevice(f.audio.device.get());
  audio::Device& device = *f.audio.device;
  f.kit().Instrument(0).add(0, 0, 0, f.sample("kick.wav", 0.5f), f.folder());
  PublishKit(f.state, false);
  engine::Engine& mixer = device.engine();
  ASSERT_TRUE(mixer.postLive(engine::Event::noteOn(36, 127, 0)));
  EXPECT_NEAR(f.audio.left(kBlock)[10], testing::pcm16(0.5f), 1e-6);

  service->lost = true;
  ASSERT_TRUE(device.lost());
  device.goSilent();
  uint32_t refused = 0;
  for (uint32_t i = 0; i < engine::Engine::kLiveCapacity; ++i)
    refused += mixer.postLive(engine::Event::noteOn(36, 127, kBlock + i)) ? 0 : 1;
  EXPECT_EQ(refused, engine::Engine::kLiveCapacity) << "the window plays them, silently";

  ASSERT_TRUE(device.reopen().ok());
  PublishKit(f.state, false);
  for (int block = 0; block < 8; ++block)
    for (float s : f.audio.left(kBlock)) ASSERT_EQ(s, 0.0f) << "block " << block;
  ASSERT_TRUE(mixer.postLive(engine::Event::noteOn(36, 127, 9 * kBlock + 100)));
  const auto out = f.audio.left(kBlock);
  EXPECT_EQ(out[99], 0.0f);
  EXPECT_NEAR(out[100], testing::pcm16(0.5f), 1e-6);
}

}  // namespace
}  // namespace varnkit
