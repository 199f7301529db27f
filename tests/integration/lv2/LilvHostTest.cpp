// The plugins in a host: lilv finds them as any host does, and the test plays them block by
// block against the engine's own offline render of the same kit and notes.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "engine/Engine.h"
#include "kitload/EngineKit.h"
#include "tests/support/LilvHost.h"
#include "tests/support/RockKit.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kStereo = "https://varnkit.org/lv2/varnkit";
constexpr const char* kMulti = "https://varnkit.org/lv2/varnkit-multi";

struct Note {
  uint8_t key, velocity;
  uint32_t frame;  // from the first block after the kit was loaded
};

// Hits of both kick layers, the snare, and the hats cutting each other, two in one frame.
const std::vector<Note> kGroove = {{36, 127, 100},  {36, 40, 4097},   {42, 100, 9000},
                                   {38, 90, 9000},  {46, 127, 12000}, {42, 64, 15001},
                                   {36, 127, 19999}};
constexpr uint32_t kLength = 24000;

// The engine's own render of the notes in one block: the main mix, then each pad's own.
std::vector<std::vector<float>> engineRender(const fs::path& kit, uint32_t rate,
                                             const std::vector<Note>& notes) {
  kitload::KitLoad load = kitload::LoadEngineKit(kit, rate);
  EXPECT_TRUE(load.kit) << load.error;
  engine::Engine engine(rate);
  engine.publish(std::move(load.kit->description));
  std::vector<engine::Event> events;
  for (const Note& n : notes) events.push_back(engine::Event::noteOn(n.key, n.velocity, n.frame));
  std::vector<std::vector<float>> out(10, std::vector<float>(2 * kLength));
  std::vector<float*> buses;
  for (std::size_t p = 1; p < out.size(); ++p) buses.push_back(out[p].data());
  engine.render(out[0].data(), kLength, events, buses);
  for (auto& voice : load.kit->voices) engine.release(voice.release());
  return out;
}

// Plays the notes through the plugin in blocks of `block` frames, after one block in which
// the kit is set and loaded on the worker; the outputs from the first note block on.
std::vector<std::vector<float>> pluginRender(LilvPluginHost& host, const fs::path& kit,
                                             uint32_t block, const std::vector<Note>& notes) {
  host.setKit(kit.string());
  host.run(block);
  const std::size_t from = host.recorded(0).size();
  std::size_t next = 0;
  for (uint32_t start = 0; start < kLength; start += block) {
    const uint32_t n = std::min(block, kLength - start);
    for (; next < notes.size() && notes[next].frame < start + n; ++next)
      host.noteOn(notes[next].key, notes[next].velocity, notes[next].frame - start,
                  uint8_t(next % 16));
    host.run(n);
  }
  std::vector<std::vector<float>> out;
  for (uint32_t i = 0; i < host.audioOutputs(); ++i)
    out.emplace_back(host.recorded(i).begin() + std::ptrdiff_t(from), host.recorded(i).end());
  return out;
}

// The largest difference of a plugin's output port from one side of an interleaved render.
float worstDifference(const std::vector<float>& port, const std::vector<float>& stereo, int side) {
  float worst = 0.0f;
  for (std::size_t i = 0; i < port.size(); ++i)
    worst = std::max(worst, std::abs(port[i] - stereo[2 * i + std::size_t(side)]));
  return worst;
}

std::size_t firstSound(const std::vector<float>& port, std::size_t from) {
  while (from < port.size() && port[from] == 0.0f) ++from;
  return from;
}

TEST(LilvHost, BothPluginsLoadTheirKitOnTheWorkerAndPlayEveryNoteAtItsFrameAsTheEngineDoes) {
  TempDir dir;
  const fs::path rock = writeRockKit(dir.path(), "Rock");
  const fs::path soft = writeRockKit(dir.path(), "Soft", 0.5f);
  LilvWorld world;
  for (const double rate : {44100.0, 48000.0}) {
    const auto expected = engineRender(rock, uint32_t(rate), kGroove);
    const auto expectedSoft = engineRender(soft, uint32_t(rate), kGroove);
    for (const uint32_t block : {1u, 64u, 1000u, 8192u}) {
      SCOPED_TRACE("rate " + std::to_string(rate) + ", blocks of " + std::to_string(block));
      LilvPluginHost stereo(world, kStereo, rate, block);
      LilvPluginHost multi(world, kMulti, rate, block);
      ASSERT_TRUE(stereo.ok() && multi.ok());
      ASSERT_EQ(stereo.audioOutputs(), 2u);
      ASSERT_EQ(multi.audioOutputs(), 20u);
      // Two instances in one host, each with its kit.
      const auto fromMulti = pluginRender(multi, rock, block, kGroove);
      const auto fromStereo = pluginRender(stereo, soft, block, kGroove);
      // The plugin renders in pieces of its own, whose fades round a little otherwise.
      for (int side = 0; side < 2; ++side) {
        EXPECT_LE(worstDifference(fromMulti[std::size_t(side)], expected[0], side), 1e-6f);
        EXPECT_LE(worstDifference(fromStereo[std::size_t(side)], expectedSoft[0], side), 1e-6f);
        for (std::size_t pad = 0; pad < 9; ++pad)
          EXPECT_LE(
              worstDifference(fromMulti[2 + 2 * pad + std::size_t(side)], expected[1 + pad], side),
              1e-6f)
              << "pad " << pad + 1;
      }
      if (rate == 44100.0) {
        // Unresampled, each sample is its level from its first frame: the onsets are exact.
        const std::vector<float>& left = fromMulti[0];
        EXPECT_EQ(firstSound(left, 0), 100u);
        EXPECT_FLOAT_EQ(left[100], 0.5f);
        EXPECT_EQ(firstSound(fromMulti[2 + 2 * 2], 0), 9000u) << "the hat on its own output";
        EXPECT_EQ(firstSound(fromMulti[2 + 2 * 1], 0), 9000u) << "the snare on its own output";
        EXPECT_EQ(firstSound(left, 19500), 19999u) << "a hit in a block's last frame";
      }
      EXPECT_EQ(multi.toldKits(), std::vector<std::string>{rock.string()});
      EXPECT_EQ(multi.runAllocations() + stereo.runAllocations(), 0) << "run() is real-time safe";
    }
  }
}

// Plays one kick at full level and tells whether it sounded at that level, past the fade of
// a kick before it.
bool kickSounds(LilvPluginHost& host, float level = 0.5f) {
  host.noteOn(36, 127, 10);
  host.run(256);
  const std::vector<float>& left = host.recorded(0);
  return left[left.size() - 256 + 200] == level;
}

TEST(LilvHost, AKitThatCannotBeLoadedIsLoggedWithItsReasonWhileTheKitBeforePlaysOn) {
  TempDir dir;
  const fs::path rock = writeRockKit(dir.path(), "Rock");
  LilvWorld world;
  LilvPluginHost host(world, kStereo, 44100, 256);
  ASSERT_TRUE(host.ok());
  EXPECT_FALSE(kickSounds(host)) << "no kit yet: silent";
  host.setKit(rock.string());
  host.run(256);
  ASSERT_TRUE(kickSounds(host));
  host.getKit(5);
  host.run(16);
  EXPECT_EQ(host.toldKits(), (std::vector<std::string>{rock.string(), rock.string()}));

  const fs::path gone = dir.path() / "Gone.txt";
  const kitload::KitLoad why = kitload::LoadEngineKit(gone, 44100);
  host.setKit(gone.string());
  host.run(256);
  ASSERT_EQ(host.log().size(), 1u);
  EXPECT_NE(host.log()[0].find(gone.string()), std::string::npos) << host.log()[0];
  EXPECT_NE(host.log()[0].find(why.error), std::string::npos) << host.log()[0];
  EXPECT_TRUE(kickSounds(host)) << "the old kit plays on";
  host.getKit();
  host.run(16);
  EXPECT_EQ(host.toldKits().back(), rock.string());

  // A host may stop and start processing between any two blocks.
  host.deactivate();
  host.activate();
  EXPECT_TRUE(kickSounds(host));

  // Any text passes for a kit file, as in the program, but a kit of no sound is told of.
  std::ofstream(dir.path() / "notes.txt") << "shopping list\n";
  host.setKit((dir.path() / "notes.txt").string());
  for (int i = 0; i < 32; ++i) host.run(256);  // past the last kick's end
  EXPECT_FALSE(kickSounds(host));
  ASSERT_EQ(host.log().size(), 2u);
  EXPECT_NE(host.log()[1].find("no pad of it has a sample"), std::string::npos) << host.log()[1];
}

fs::path writePreset(const fs::path& dir, const std::string& kitValue) {
  fs::create_directories(dir);
  std::ofstream(dir / "manifest.ttl") << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                                         "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                                         "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                                         "<state.ttl> a pset:Preset ; lv2:appliesTo <"
                                      << kStereo << "> ; rdfs:seeAlso <state.ttl> .\n";
  std::ofstream(dir / "state.ttl")
      << "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
         "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
         "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
         "<> a pset:Preset ; lv2:appliesTo <"
      << kStereo << "> ;\n  state:state [ <https://varnkit.org/lv2/varnkit#kit> " << kitValue
      << " ] .\n";
  return dir / "state.ttl";
}

TEST(LilvHost,
     AStateSavedMovedAndRestoredFindsItsKitAsDoesAPresetBesideItsKitAndAGoneKitIsSilence) {
  TempDir dir;
  LilvWorld world;
  // A session that keeps its kit inside its own folder, saved and then moved as a whole.
  const fs::path session = dir.path() / "session";
  fs::create_directories(session);
  const fs::path rock = writeRockKit(session, "Rock");
  {
    LilvPluginHost saving(world, kStereo, 44100, 256);
    saving.setKit(rock.string());
    saving.run(256);
    ASSERT_TRUE(kickSounds(saving));
    ASSERT_TRUE(saving.saveState(session));
  }
  const fs::path moved = dir.path() / "moved";
  fs::rename(session, moved);
  {
    LilvPluginHost reopened(world, kStereo, 44100, 256);
    ASSERT_TRUE(reopened.restoreState(moved / "state.ttl"));
    EXPECT_TRUE(kickSounds(reopened)) << "the kit is found where the session now is";
    EXPECT_TRUE(reopened.log().empty()) << reopened.log().front();
    ASSERT_FALSE(reopened.toldKits().empty());
    EXPECT_EQ(fs::path(reopened.toldKits().back()), moved / "Rock.txt");
  }

  // A preset written by hand, naming the kit beside it, by relative path.
  const fs::path preset = writePreset(dir.path() / "preset.lv2", "<Soft.txt>");
  writeRockKit(preset.parent_path(), "Soft", 0.5f);
  {
    LilvPluginHost fromPreset(world, kStereo, 44100, 256);
    ASSERT_TRUE(fromPreset.restoreState(preset));
    EXPECT_TRUE(kickSounds(fromPreset, 0.25f)) << "the preset's own kit";
  }

  // A session that keeps a link to a kit elsewhere, as hosts make them: the kit's samples
  // are beside the kit file, not beside the link.
  const fs::path linking = dir.path() / "linking";
  fs::create_directories(linking);
  {
    LilvPluginHost saving(world, kStereo, 44100, 256);
    saving.setKit((preset.parent_path() / "Soft.txt").string());
    saving.run(256);
    ASSERT_TRUE(saving.saveState(linking));
  }
  {
    LilvPluginHost reopened(world, kStereo, 44100, 256);
    ASSERT_TRUE(reopened.restoreState(linking / "state.ttl"));
    EXPECT_TRUE(kickSounds(reopened, 0.25f)) << "the kit behind the session's link";
    EXPECT_TRUE(reopened.log().empty()) << reopened.log().front();
  }

  fs::remove_all(moved / "Rock");
  fs::remove(moved / "Rock.txt");
  LilvPluginHost restoredWithoutKit(world, kStereo, 44100, 256);
  restoredWithoutKit.setKit((preset.parent_path() / "Soft.txt").string());
  restoredWithoutKit.run(256);
  ASSERT_TRUE(restoredWithoutKit.restoreState(moved / "state.ttl"));
  EXPECT_FALSE(kickSounds(restoredWithoutKit, 0.25f)) << "the kit before is gone too";
  EXPECT_EQ(restoredWithoutKit.recorded(0).back(), 0.0f);
  ASSERT_EQ(restoredWithoutKit.log().size(), 1u);
  EXPECT_NE(restoredWithoutKit.log()[0].find("Rock.txt"), std::string::npos);
}

}  // namespace
}  // namespace varnkit::testing
