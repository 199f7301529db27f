// A kit file loaded for a host with no window, played through an engine of its own.

#include <gtest/gtest.h>

#include <fstream>

#include "engine/Engine.h"
#include "kitload/EngineKit.h"
#include "tests/support/WavWriter.h"

namespace varnkit::kitload {
namespace {

constexpr const char* kRock =
    "vst samples,\r\r\nRock,\r\r\nRock,\r\r\nVarnKit,\r\r\n\r\r\n"
    "1,0,0,\t36,Kick,\tkick1.wav,0,79,0,0,0,0,0,0,\r\r\n"
    "1,0,0,\t36,Kick,\tkick2.wav,80,127,0,0,0,0,0,0,\r\r\n"
    "3,0,0,\t42,Hat,\that.wav,0,127,0,0,0,0,1,1,\r\r\n"
    "-1 by Ned's VarnKit\r\n";

struct RockKit {
  RockKit() {
    std::ofstream(dir.path() / "Rock.txt", std::ios::binary) << kRock;
    std::filesystem::create_directory(dir.path() / "Rock");
    const std::pair<const char*, float> samples[] = {
        {"kick1.wav", 0.25f}, {"kick2.wav", 0.5f}, {"hat.wav", 0.125f}};
    for (const auto& [name, value] : samples)
      testing::writeFile(dir.path() / "Rock" / name,
                         testing::makeWav(testing::constant(value, 4410), {}));
  }
  testing::TempDir dir;
};

TEST(EngineKit, AKitFileLoadsWithItsSamplesDecodedAtTheEnginesRateAndPlaysAsInTheProgram) {
  RockKit rock;
  for (const uint32_t rate : {44100u, 48000u}) {
    KitLoad load = LoadEngineKit(rock.dir.path() / "Rock.txt", rate);
    ASSERT_TRUE(load.kit) << load.error;
    EngineKit& kit = *load.kit;
    const engine::KitDescription& d = *kit.description;
    ASSERT_EQ(d.pads.size(), 9u);
    EXPECT_EQ(kit.padNames[0], "Kick");
    EXPECT_EQ(kit.padNames[2], "Hat");
    EXPECT_EQ(d.pads[0].rootKey, 36);
    ASSERT_EQ(d.pads[0].layers.size(), 2u);
    EXPECT_EQ(d.pads[0].layers[0].velEnd, 79);
    EXPECT_EQ(d.pads[0].layers[1].velStart, 80);
    EXPECT_EQ(d.pads[2].group, 1);
    EXPECT_EQ(kit.voices.size(), 3u);
    EXPECT_NEAR(double(kit.voices[0]->data.frames), 0.1 * rate, 2.0) << "resampled to " << rate;

    engine::Engine engine(rate);
    engine.publish(std::move(kit.description));
    const engine::Event hits[] = {engine::Event::noteOn(36, 127, 10)};
    std::vector<float> out(2 * 4096);
    engine.render(out.data(), 4096, hits);
    EXPECT_EQ(out[2 * 9], 0.0f);
    EXPECT_NE(out[2 * 10], 0.0f);
    // Past the resampler's settling: velocity 127 plays the upper layer at full level.
    EXPECT_NEAR(out[2 * 2010], 0.5f, 1e-3);
    for (auto& voice : kit.voices) engine.release(voice.release());
  }
}

// A sample that is gone leaves its layer out, as in the program, and one that is no sound is
// left out with a word; only a kit file that cannot be read gives no kit.
TEST(EngineKit, ASampleThatIsGoneOrNoSoundIsLeftOutAndAKitFileThatIsGoneGivesAReason) {
  testing::TempDir dir;
  const KitLoad missing = LoadEngineKit(dir.path() / "Gone.txt", 44100);
  EXPECT_FALSE(missing.kit);
  EXPECT_FALSE(missing.error.empty());
  RockKit rock;
  std::filesystem::remove(rock.dir.path() / "Rock" / "kick2.wav");
  const KitLoad partial = LoadEngineKit(rock.dir.path() / "Rock.txt", 44100);
  ASSERT_TRUE(partial.kit) << partial.error;
  ASSERT_EQ(partial.kit->description->pads[0].layers.size(), 1u);
  EXPECT_EQ(partial.kit->description->pads[0].layers[0].velEnd, 127);
  testing::writeFile(rock.dir.path() / "Rock" / "hat.wav", {'n', 'o', 'p', 'e'});
  const KitLoad broken = LoadEngineKit(rock.dir.path() / "Rock.txt", 44100);
  ASSERT_TRUE(broken.kit) << broken.error;
  EXPECT_TRUE(broken.kit->description->pads[2].layers.empty());
  ASSERT_EQ(broken.kit->notes.size(), 1u);
  EXPECT_NE(broken.kit->notes[0].find("hat.wav"), std::string::npos) << broken.kit->notes[0];
}

}  // namespace
}  // namespace varnkit::kitload

namespace varnkit::kitload {
namespace {

// Another sampler's kit comes in as the importer plans it, and nothing is written beside it.
TEST(EngineKit, AnSfzFileLoadsAsTheImporterPlansItAndWritesNothing) {
  testing::TempDir dir;
  for (const auto& [name, value] :
       {std::pair{"kick_soft.wav", 0.25f}, {"kick_hard.wav", 0.5f}, {"snare.wav", 0.125f}})
    testing::writeFile(dir.path() / name, testing::makeWav(testing::constant(value, 441), {}));
  std::ofstream(dir.path() / "kit.sfz")
      << "<region> sample=kick_soft.wav key=36 lovel=0 hivel=63\n"
         "<region> sample=kick_hard.wav key=36 lovel=64 hivel=127\n"
         "<region> sample=snare.wav key=38\n";
  const auto before = std::distance(std::filesystem::directory_iterator(dir.path()), {});
  KitLoad load = LoadEngineKit(dir.path() / "kit.sfz", 44100);
  ASSERT_TRUE(load.kit) << load.error;
  const engine::KitDescription& d = *load.kit->description;
  ASSERT_EQ(d.pads[0].layers.size(), 2u);
  EXPECT_EQ(d.pads[0].rootKey, 36);
  EXPECT_EQ(d.pads[0].layers[0].velEnd, 63);
  EXPECT_EQ(d.pads[0].layers[1].velStart, 64);
  EXPECT_NEAR(d.pads[0].layers[1].voice->data.samples[0], 0.5f, 1e-4);
  EXPECT_EQ(d.pads[1].rootKey, 38);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), before);
  const KitLoad none = LoadEngineKit(dir.path() / "gone.sfz", 44100);
  EXPECT_FALSE(none.kit);
  EXPECT_FALSE(none.error.empty());
}

}  // namespace
}  // namespace varnkit::kitload
