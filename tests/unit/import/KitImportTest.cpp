// Importing a kit whole: the limit on what its samples decode to, and an import stopped part
// way, each leaving the kit folder as it was.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <fstream>

#include "import/KitImport.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/import/TestArchive.h"
#include "tests/unit/platform/TestFiles.h"

namespace varnkit::import {
namespace {

namespace fs = std::filesystem;
using testing::Member;

constexpr uint64_t kSilenceFrames = 100000;

class KitImportTest : public ::testing::Test {
 protected:
  // An .h2drumkit whose nine instruments each have three layers, all naming one silent FLAC
  // file of a few hundred bytes that decodes to kSilenceFrames samples.
  fs::path smallArchiveOfLongSounds() {
    testing::writeSoundFile(dir.path() / "silence.flac", testing::constant(0, kSilenceFrames), {},
                            SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    std::string xml = "<drumkit_info><name>Quiet</name><instrumentList>";
    for (int i = 0; i < 9; ++i) {
      xml += "<instrument><id>" + std::to_string(i) + "</id><name>Drum " + std::to_string(i) +
             "</name><midiOutNote>" + std::to_string(36 + i) + "</midiOutNote>";
      for (const char* low : {"0", "0.34", "0.67"})
        xml += std::string("<layer><filename>silence.flac</filename><min>") + low +
               "</min><max>1</max></layer>";
      xml += "</instrument>";
    }
    xml += "</instrumentList></drumkit_info>";
    const fs::path archive = dir.path() / "Quiet.h2drumkit";
    testing::writeArchive(
        archive,
        {{"Quiet/drumkit.xml", xml}, {"Quiet/silence.flac", read(dir.path() / "silence.flac")}},
        testing::Packing::TarGz);
    EXPECT_LT(fs::file_size(archive), 20000u);
    return archive;
  }
  static std::string read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  bool nothingWritten() const { return fs::is_empty(kits); }

  testing::TempDir dir;
  fs::path kits = dir.path() / "kits";
  ImportOutcome outcome;
};

TEST_F(KitImportTest, AKitWhoseSamplesDecodePastTheLimitIsRefusedWithTheReason) {
  fs::create_directories(kits);
  const fs::path archive = smallArchiveOfLongSounds();
  auto never = [](const std::string&) { return true; };
  // 27 layers of 100000 samples: past a limit of 4 MiB of sound at the 11th.
  outcome = ImportKit({archive, kits, "", 1 << 20}, never);
  EXPECT_FALSE(outcome.ok);
  EXPECT_NE(outcome.error.find("decode to more than 4 MiB of sound"), std::string::npos)
      << outcome.error;
  EXPECT_NE(outcome.error.find("the most one imported kit may hold"), std::string::npos);
  EXPECT_TRUE(nothingWritten());

  // The figure that matters is what is decoded: within it, the kit is imported whole.
  outcome = ImportKit({archive, kits, "", 27 * kSilenceFrames}, never);
  EXPECT_TRUE(outcome.ok) << outcome.error;
  EXPECT_TRUE(fs::exists(kits / "Quiet.txt"));
}

// Stopped at each step in turn, from the first to the one before the save: nothing in the kit
// folder, the kit there before left whole, and no scratch folder left behind.
TEST_F(KitImportTest, AnImportStoppedAtAnyStepWritesNothingAndLeavesNoScratch) {
  const fs::path tmp = dir.path() / "tmp";
  fs::create_directories(tmp);
  const testing::ScopedEnv scratchHere("TMPDIR", tmp.string());
  testing::writeText(kits / "Quiet.txt", "the kit there before");
  const fs::path archive = smallArchiveOfLongSounds();
  std::vector<ImportStep> seen;
  auto replace = [](const std::string&) { return true; };
  outcome = ImportKit({archive, kits, ""}, replace, [&](const ImportStep& step) {
    seen.push_back(step);
    return true;
  });
  ASSERT_TRUE(outcome.ok) << outcome.error;
  // Reading, unpacking piece by piece, choosing, 27 samples gathered and decoded, saving.
  ASSERT_GT(seen.size(), 60u);
  EXPECT_EQ(seen[1].what, "Unpacking the kit");
  EXPECT_TRUE(seen.back().saving);
  EXPECT_EQ(seen.back().what, "Saving the kit");
  EXPECT_EQ(seen[seen.size() - 2].done, 26);
  EXPECT_EQ(seen[seen.size() - 2].total, 27);

  for (std::size_t stopAt = 0; stopAt < seen.size(); ++stopAt) {
    SCOPED_TRACE(stopAt);
    fs::remove_all(kits);
    testing::writeText(kits / "Quiet.txt", "the kit there before");
    std::size_t step = 0;
    outcome = ImportKit({archive, kits, ""}, replace,
                        [&](const ImportStep&) { return step++ != stopAt; });
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.error, "The import was cancelled; nothing was written.");
    EXPECT_EQ(read(kits / "Quiet.txt"), "the kit there before");
    EXPECT_EQ(std::distance(fs::directory_iterator(kits), {}), 1);
    EXPECT_TRUE(fs::is_empty(tmp));
  }
}

}  // namespace
}  // namespace varnkit::import
