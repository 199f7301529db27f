#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>

#include "kit/Funk.h"
#include "platform/files/TextFiles.h"
#include "platform/profile/SettingsStore.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/platform/TestFiles.h"

namespace varnkit {
namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  varnkit::testing::TempDir dir;
  varnkit::testing::ScopedEnv xdg{"XDG_CONFIG_HOME", dir.path().string()};
  fs::path storeFile = dir.path() / "VarnKit" / "VarnKit.ini";

  std::string storeText() const { return varnkit::testing::readBytes(storeFile); }
  ino_t storeInode() const {
    struct stat st {};
    EXPECT_EQ(::stat(storeFile.c_str(), &st), 0);
    return st.st_ino;
  }
};

TEST_F(SettingsTest, FirstStartWritesTheDefaultsIntoTheStore) {
  EXPECT_EQ(ReadSetting("LastMidi", "0"), "0");
  EXPECT_EQ(storeText(), "[Quil]\nLastMidi=0\n");
  EXPECT_EQ(ReadSetting("LastDir", AppFolder()), AppFolder());
  EXPECT_EQ(storeText(), "[Quil]\nLastMidi=0\nLastDir=" + AppFolder() + "\n");
}

TEST_F(SettingsTest, AnEmptyDefaultForAMissingKeyGivesNothingAndWritesNothing) {
  EXPECT_EQ(ReadSetting("LastDir", ""), "");
  EXPECT_FALSE(fs::exists(storeFile));
}

TEST_F(SettingsTest, AValueEqualToTheDefaultIsRewrittenADifferentOneOnlyRead) {
  WriteSetting("LastMidi", "0");
  const ino_t written = storeInode();
  EXPECT_EQ(ReadSetting("LastMidi", "0"), "0");
  EXPECT_NE(storeInode(), written);
  WriteSetting("LastMidi", "3");
  const ino_t three = storeInode();
  EXPECT_EQ(ReadSetting("LastMidi", "0"), "3");
  EXPECT_EQ(storeInode(), three);
  // Equal means equal in case too.
  WriteSetting("LastDir", "/Drums");
  EXPECT_EQ(ReadSetting("LastDir", "/drums"), "/Drums");
  EXPECT_EQ(storeText(), "[Quil]\nLastMidi=3\nLastDir=/Drums\n");
}

TEST_F(SettingsTest, KeysThatDifferInCaseAreOneEntryWithTheFirstSpelling) {
  WriteSetting("Lastmidi", "5");
  EXPECT_EQ(ReadSetting("LastMidi", "0"), "5");
  WriteSetting("LASTMIDI", "6");
  EXPECT_EQ(ReadSetting("lastmidi", "0"), "6");
  EXPECT_EQ(storeText(), "[Quil]\nLastmidi=6\n");
}

TEST_F(SettingsTest, ASettingOfAnyLengthIsReadBackWhole) {
  for (std::size_t length : {98u, 99u, 100u, 1000u}) {
    const std::string longDir = "/" + std::string(length, 'd');
    WriteSetting("LastDir", longDir);
    EXPECT_EQ(ReadSetting("LastDir", "/"), longDir) << length;
    EXPECT_EQ(ReadSetting("Other" + std::to_string(length), longDir), longDir) << length;
  }
}

TEST(ProgramFolder, HoldsTheRunningProgramAndIsEmptyForOneInTheRoot) {
  const std::string folder = AppFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(fs::is_regular_file(folder + "/" + program_invocation_short_name));
  EXPECT_EQ(FolderOfProgram("/opt/Drums/varnkit"), "/opt/Drums");
  EXPECT_EQ(FolderOfProgram("/varnkit"), "");
}

TEST(StripBackslash, StripsOneTrailingSlashOnly) {
  EXPECT_EQ(StripBackslash("/"), "");
  EXPECT_EQ(StripBackslash("/Samples/"), "/Samples");
  EXPECT_EQ(StripBackslash("/Samples"), "/Samples");
  EXPECT_EQ(StripBackslash("/a//"), "/a/");
  EXPECT_EQ(StripBackslash(""), "");
}

TEST(ReadFields, ReadsAKitFilesSignatureWithOneField) {
  varnkit::testing::TempDir dir;
  varnkit::testing::writeBytes(dir.path() / "Rock.txt", "vst samples,\r\r\nRock,\r\r\n");
  files::OpenTextFile(1, dir.file("Rock.txt"), files::OpenMode::Input);
  std::string signature;
  const std::array<FieldRef, 1> one{&signature};
  ReadFields(1, one);
  files::CloseFile(1);
  EXPECT_EQ(signature, "vst samples");
}

}  // namespace
}  // namespace varnkit
