#include <gtest/gtest.h>

#include <array>
#include <random>
#include <thread>
#include <vector>

#include "platform/profile/Profile.h"
#include "platform/profile/SettingsStore.h"
#include "platform/profile/StoreFile.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/platform/TestFiles.h"

namespace varnkit::profile {
namespace {

namespace fs = std::filesystem;
using varnkit::testing::readBytes;
using varnkit::testing::writeBytes;

class SettingsStoreTest : public ::testing::Test {
 protected:
  varnkit::testing::TempDir dir;
  fs::path file = dir.path() / "VarnKit" / "VarnKit.ini";
  SettingsStore store{file};

  void put(std::string_view key, std::string_view value) {
    const Status s = store.write("Quil", key, value);
    ASSERT_TRUE(s.ok) << s.error;
  }
  std::optional<std::string> get(std::string_view key) { return store.read("Quil", key).value; }
  void prepare(std::string_view text) {
    fs::create_directories(file.parent_path());
    writeBytes(file, text);
  }
};

TEST_F(SettingsStoreTest, SectionsMatchWithoutRegardToCaseKeepingTheFirstSpelling) {
  put("A", "1");
  ASSERT_TRUE(store.write("QUIL", "a", "2").ok);
  EXPECT_EQ(store.read("quil", "A").value, "2");
  EXPECT_FALSE(store.read("Other", "A").value);
  EXPECT_EQ(readBytes(file), "[Quil]\nA=2\n");
}

TEST_F(SettingsStoreTest, InstancesWritingInTurnLoseNothingAndReadEachOthersValues) {
  SettingsStore other(file);
  put("A", "1");
  ASSERT_TRUE(other.write("Quil", "B", "2").ok);
  put("A", "3");
  EXPECT_EQ(other.read("Quil", "A").value, "3");
  EXPECT_EQ(get("B"), "2");
}

TEST_F(SettingsStoreTest, WritersOnSeveralThreadsLoseNoKeyAndLeaveNoTemporaryFile) {
  std::vector<std::thread> writers;
  for (int t = 0; t < 3; ++t) {
    writers.emplace_back([this, t] {
      for (int i = 0; i < 15; ++i)
        (void)SettingsStore(file).write("Quil", std::to_string(t * 100 + i), "v");
    });
  }
  for (auto& w : writers) w.join();
  for (int t = 0; t < 3; ++t) {
    for (int i = 0; i < 15; ++i) EXPECT_EQ(get(std::to_string(t * 100 + i)), "v") << t << i;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), fs::directory_iterator()), 1);
}

TEST_F(SettingsStoreTest, ValuesAreCutAtTheFirstLineBreakAndKeepAllOtherBytes) {
  put("A", "first\r\nsecond");
  put("B", "  \xe9t\xe9\t ");
  put("C", "\"quoted\"");
  EXPECT_EQ(get("A"), "first");
  EXPECT_EQ(get("B"), "  \xe9t\xe9\t ");
  EXPECT_EQ(get("C"), "\"quoted\"");
}

TEST_F(SettingsStoreTest, RefusesNamesThatCouldNotBeReadBackAndLeavesTheFileAlone) {
  put("A", "1");
  for (auto key : {"", " ", "a=b", "[x", "line\nbreak", ";c"}) {
    EXPECT_FALSE(store.write("Quil", key, "v").ok) << key;
  }
  EXPECT_FALSE(store.write("Qu]il", "A", "v").ok);
  EXPECT_EQ(readBytes(file), "[Quil]\nA=1\n");
}

TEST_F(SettingsStoreTest, HandWrittenFilesReadWithBlanksCommentsAndCrLf) {
  prepare("; settings\r\nLastDir=/outside\r\n[ quil ] ; ours\r\n  LastDir =  /d  \r\n");
  EXPECT_EQ(get("LastDir"), "/d");
  put("LastDir", "/e");
  put("LastMidi", "4");
  EXPECT_EQ(readBytes(file),
            "; settings\r\nLastDir=/outside\r\n[ quil ] ; ours\r\n  LastDir =/e\r\nLastMidi=4\r\n");
}

TEST_F(SettingsStoreTest, ADamagedFileKeepsEveryLineItCannotUnderstand) {
  std::string garbage(4000, '\0');
  std::mt19937 random(7);
  for (char& c : garbage) c = char(random() % 256);
  garbage += "\n[Quil\nno equals sign\n[Quil]\n=7\nLastMidi=5\n\xff\xfe";
  prepare(garbage);
  EXPECT_EQ(get("LastMidi"), "5");
  EXPECT_FALSE(get("LastDir"));
  put("LastDir", "/d");
  put("LastMidi", "6");
  garbage.replace(garbage.find("LastMidi=5"), 10, "LastMidi=6");
  EXPECT_EQ(readBytes(file), garbage + "\nLastDir=/d\n");
}

TEST_F(SettingsStoreTest, AFileThatCannotBeReadIsNeverReplaced) {
  fs::create_directories(file);  // a folder where the file should be
  EXPECT_FALSE(store.read("Quil", "A").status.ok);
  EXPECT_FALSE(store.write("Quil", "A", "1").ok);
  fs::remove(file);
  prepare("[Quil]\nA=1\n");
  fs::resize_file(file, kMaxStoreBytes + 1);
  EXPECT_FALSE(store.read("Quil", "A").status.ok);
  EXPECT_FALSE(store.write("Quil", "A", "2").ok);
  EXPECT_EQ(readBytes(file).substr(0, 11) + std::to_string(fs::file_size(file)),
            "[Quil]\nA=1\n" + std::to_string(kMaxStoreBytes + 1));
}

TEST_F(SettingsStoreTest, AStoreKeptAsALinkStaysALink) {
  writeBytes(dir.path() / "real.ini", "[Quil]\nA=1\n");
  fs::create_directories(file.parent_path());
  fs::create_symlink(dir.path() / "real.ini", file);
  put("A", "2");
  EXPECT_TRUE(fs::is_symlink(file));
  EXPECT_EQ(readBytes(dir.path() / "real.ini"), "[Quil]\nA=2\n");
}

TEST(UserSettingsStore, LivesUnderXdgConfigHomeElseUnderTheHomeFolder) {
  varnkit::testing::ScopedEnv home("HOME", "/home/someone");
  {
    varnkit::testing::ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(userStorePath(), fs::path("/cfg/VarnKit/VarnKit.ini"));
  }
  for (auto unusable : {std::optional<std::string>(), std::optional<std::string>("relative")}) {
    varnkit::testing::ScopedEnv xdg("XDG_CONFIG_HOME", unusable);
    EXPECT_EQ(userStorePath(), fs::path("/home/someone/.config/VarnKit/VarnKit.ini"));
  }
}

TEST(UserSettingsStore, ProfileStringsFillTheBufferWithAtMostSizeMinusOneCharacters) {
  varnkit::testing::TempDir dir;
  varnkit::testing::ScopedEnv xdg("XDG_CONFIG_HOME", dir.path().string());
  ASSERT_TRUE(WriteProfileString("Quil", "Key", "value").ok);
  std::array<char, 4> buffer{'x', 'x', 'x', 'x'};
  EXPECT_EQ(GetProfileString("Quil", "Key", "d", buffer), 3u);
  EXPECT_EQ(std::string(buffer.data()), "val");
  EXPECT_EQ(GetProfileString("Quil", "Key", "d", std::span(buffer).first(1)), 0u);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(GetProfileString("Quil", "Key", "d", std::span<char>()), 0u);
}

}  // namespace
}  // namespace varnkit::profile
