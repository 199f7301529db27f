#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <map>

#include "platform/files/FileOps.h"
#include "platform/files/FolderUpdate.h"
#include "platform/files/Lookup.h"
#include "platform/files/TextFiles.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/platform/TestFiles.h"

namespace varnkit::files {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using varnkit::testing::errorOf;
using varnkit::testing::readBytes;
using varnkit::testing::writeBytes;

void makeSocket(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

class FileLookupTest : public ::testing::Test {
 protected:
  varnkit::testing::TempDir dir;
  DirLookup lookup;

  void SetUp() override {
    for (auto name : {"b.wav", "A.WAV", "c.Wav", ".hidden.wav", "g.txt", "wav"}) {
      writeBytes(dir.path() / name, "x");
    }
    fs::create_directory(dir.path() / "folder.wav");
    fs::create_directory(dir.path() / ".hidden");
    ASSERT_EQ(::mkfifo(dir.file("pipe.wav").c_str(), 0600), 0);
    makeSocket(dir.file("socket.wav"));
    fs::create_symlink(dir.path() / "b.wav", dir.path() / "link.wav");
    fs::create_symlink(dir.path() / "gone", dir.path() / "dangling.wav");
  }

  Names all(const std::string& pattern, Admit admit = Admit::Files) {
    Names names;
    for (auto n = lookup.first(dir.file(pattern), admit); !n.empty(); n = lookup.next()) {
      names.push_back(n);
    }
    return names;
  }
};

TEST_F(FileLookupTest, WildcardsFindOrdinaryFilesOnlyWithoutRegardToCase) {
  const Names wavs{"A.WAV", "b.wav", "c.Wav", "link.wav"};
  EXPECT_EQ(all("*.wav"), wavs);
  EXPECT_EQ(all("*.WAV"), wavs);
  EXPECT_EQ(all("?.*"), (Names{"A.WAV", "b.wav", "c.Wav", "g.txt"}));
  EXPECT_EQ(all("*a*v"), (Names{"A.WAV", "b.wav", "c.Wav", "link.wav", "wav"}));
  EXPECT_EQ(all("*", Admit::FilesAndFolders),
            (Names{"A.WAV", "b.wav", "c.Wav", "folder.wav", "g.txt", "link.wav", "wav"}));
}

TEST_F(FileLookupTest, AFullNameFindsExactlyThatOrdinaryFile) {
  EXPECT_EQ(all("g.txt"), Names{"g.txt"});
  for (auto absent : {"G.TXT", "missing.txt", ".hidden.wav", "folder.wav", "pipe.wav", "socket.wav",
                      "dangling.wav"}) {
    EXPECT_EQ(lookup.first(dir.file(absent)), "") << absent;
  }
  EXPECT_EQ(lookup.problem(), "");
  EXPECT_EQ(all("folder.wav", Admit::FilesAndFolders), Names{"folder.wav"});
  EXPECT_EQ(all(".hidden", Admit::FilesAndFolders), Names{});
}

TEST_F(FileLookupTest, TheProcessLookupContinuesWithoutAPatternAndRestartsWithOne) {
  EXPECT_EQ(Dir(dir.file("*.wav")), "A.WAV");
  EXPECT_EQ(Dir(), "b.wav");
  EXPECT_EQ(Dir(dir.file("*.txt")), "g.txt");
  EXPECT_EQ(Dir(), "");
  EXPECT_EQ(Dir(), "");
}

TEST_F(FileLookupTest, AFolderThatCannotBeReadFindsNothingAndSaysWhy) {
  EXPECT_EQ(lookup.first(dir.file("nowhere/*.wav")), "");
  EXPECT_NE(lookup.problem(), "");
  EXPECT_EQ(lookup.first(dir.path().string() + "/"), "");
  EXPECT_NE(lookup.problem(), "");
}

TEST(FileOps, MakeFolderFailsWhenItExistsOrCannotBeMade) {
  varnkit::testing::TempDir dir;
  EXPECT_TRUE(MakeFolder(dir.file("kit")).ok && fs::is_directory(dir.path() / "kit"));
  EXPECT_FALSE(MakeFolder(dir.file("kit")).ok);
  EXPECT_FALSE(MakeFolder(dir.file("no/such/parent")).ok);
}

TEST(FileOps, CopyReplacesTheTargetWholeAndFailsOntoItselfKeepingTheSource) {
  varnkit::testing::TempDir dir;
  const std::string sample(70000, 's');
  writeBytes(dir.path() / "s.wav", sample);
  writeBytes(dir.path() / "t.wav", std::string(100000, 'o'));
  ASSERT_TRUE(CopyFile(dir.file("s.wav"), dir.file("t.wav")).ok);
  EXPECT_EQ(readBytes(dir.path() / "t.wav"), sample);
  fs::create_directory(dir.path() / "sub");
  fs::create_hard_link(dir.path() / "s.wav", dir.path() / "hard.wav");
  for (auto same : {"s.wav", "sub/../s.wav", "hard.wav"}) {
    EXPECT_FALSE(CopyFile(dir.file("s.wav"), dir.file(same)).ok) << same;
    EXPECT_EQ(readBytes(dir.path() / "s.wav"), sample) << same;
  }
  EXPECT_FALSE(CopyFile(dir.file("missing.wav"), dir.file("t.wav")).ok);
  EXPECT_FALSE(CopyFile(dir.file("sub"), dir.file("t.wav")).ok);
  EXPECT_FALSE(CopyFile(dir.file("s.wav"), dir.file("sub")).ok);
  EXPECT_EQ(readBytes(dir.path() / "t.wav"), sample);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 4);
}

// Every entry of folder, hidden ones too, with its bytes ("<folder>" for folders).
std::map<std::string, std::string> entriesOf(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::directory_iterator(folder))
    entries[e.path().filename().string()] = e.is_directory() ? "<folder>" : readBytes(e.path());
  return entries;
}

TEST(FolderUpdate, FilesGoInTogetherOrNotAtAllAndNothingOfTheStagingStays) {
  varnkit::testing::TempDir from, kit;
  for (const char* name : {"a.wav", "b.wav", "c.wav"})
    writeBytes(from.path() / name, std::string("new ") + name);
  writeBytes(kit.path() / "a.wav", "old a");
  writeBytes(kit.path() / "b.wav", "old b");
  writeBytes(kit.path() / "keep.wav", "old keep");
  const auto old = entriesOf(kit.path());
  auto stageAll = [&](FolderUpdate& update) {
    for (const char* name : {"a.wav", "c.wav", "b.wav"})
      ASSERT_TRUE(update.stage(from.file(name), name).ok) << name;
    EXPECT_TRUE(update.staged("c.wav"));
    EXPECT_FALSE(update.staged("keep.wav"));
  };
  auto staging = [&] {
    for (const auto& e : fs::directory_iterator(kit.path()))
      if (e.path().filename().string().starts_with(".")) return e.path();
    return fs::path();
  };
  {  // The last file cannot be put aside, after two went in: the first two go back.
    FolderUpdate update(kit.path().string());
    stageAll(update);
    EXPECT_EQ(entriesOf(kit.path()).size(), old.size() + 1) << "staged beside, nothing replaced";
    fs::create_directory(staging() / "old" / "b.wav");
    EXPECT_FALSE(update.commit().ok);
    auto now = entriesOf(kit.path());
    now.erase(staging().filename().string());
    EXPECT_EQ(now, old);
  }
  EXPECT_EQ(entriesOf(kit.path()), old);
  {
    FolderUpdate update(kit.path().string());
    stageAll(update);
    ASSERT_TRUE(update.commit().ok);
    update.finish();
  }
  EXPECT_EQ(entriesOf(kit.path()), (std::map<std::string, std::string>{{"a.wav", "new a.wav"},
                                                                       {"b.wav", "new b.wav"},
                                                                       {"c.wav", "new c.wav"},
                                                                       {"keep.wav", "old keep"}}));
  // A source that cannot be read, or a name that is a folder in the kit, fails the stage alone.
  fs::create_directory(kit.path() / "d.wav");
  FolderUpdate update(kit.path().string());
  EXPECT_FALSE(update.stage(from.file("missing.wav"), "e.wav").ok);
  EXPECT_FALSE(update.stage(from.file("a.wav"), "d.wav").ok);
}

class TextFilesTest : public ::testing::Test {
 protected:
  varnkit::testing::TempDir dir;
  void TearDown() override { CloseAllFiles(); }
};

TEST_F(TextFilesTest, LinesEndInCrLfAndOutputReplacesTheOldContent) {
  writeBytes(dir.path() / "k.txt", std::string(500, 'o'));
  OpenTextFile(1, dir.file("k.txt"), OpenMode::Output);
  WriteLine(1, "vst samples,\r");
  WriteLine(1, "");
  WriteLine(1, "\xe9\t1,");
  CloseFile(1);
  EXPECT_EQ(readBytes(dir.path() / "k.txt"), "vst samples,\r\r\n\r\n\xe9\t1,\r\n");
}

TEST_F(TextFilesTest, InputGivesEveryByteThenTheEnd) {
  writeBytes(dir.path() / "k.txt", std::string("a\0\xff", 3));
  OpenTextFile(7, dir.file("k.txt"), OpenMode::Input);
  std::string got;
  while (!AtEnd(7)) got += ReadChar(7);
  EXPECT_EQ(got, std::string("a\0\xff", 3));
  EXPECT_EQ(errorOf([] { ReadChar(7); }), kInputPastEndOfFile);
  CloseFile(7);
  EXPECT_EQ(errorOf([] { CloseFile(7); }), kBadFileNameOrNumber);
}

TEST_F(TextFilesTest, FilesThatCannotBeOpenedRaiseNotFoundOrAccessError) {
  ASSERT_EQ(::mkfifo(dir.file("pipe").c_str(), 0600), 0);
  const auto open = [](const std::string& path, OpenMode mode) {
    return errorOf([&] { OpenTextFile(1, path, mode); });
  };
  EXPECT_EQ(open(dir.file("none.txt"), OpenMode::Input), Error::kFileNotFound);
  EXPECT_EQ(open(dir.file("no/k.txt"), OpenMode::Output), Error::kFileNotFound);
  for (auto mode : {OpenMode::Input, OpenMode::Output}) {
    EXPECT_EQ(open(dir.path().string(), mode), Error::kPathFileAccess);
    EXPECT_EQ(open(dir.file("pipe"), mode), Error::kPathFileAccess);
  }
  EXPECT_FALSE(IsOpen(1));
}

TEST_F(TextFilesTest, FileNumbersMustBeOpenInRangeAndUsedInTheirMode) {
  writeBytes(dir.path() / "in.txt", "x");
  EXPECT_EQ(errorOf([] { AtEnd(1); }), kBadFileNameOrNumber);
  EXPECT_EQ(errorOf([&] { OpenTextFile(512, dir.file("in.txt"), OpenMode::Input); }), 52);
  OpenTextFile(1, dir.file("in.txt"), OpenMode::Input);
  OpenTextFile(2, dir.file("out.txt"), OpenMode::Output);
  EXPECT_EQ(errorOf([&] { OpenTextFile(1, dir.file("in.txt"), OpenMode::Input); }),
            kFileAlreadyOpen);
  EXPECT_EQ(errorOf([] { WriteLine(1, "x"); }), kBadFileMode);
  EXPECT_EQ(errorOf([] { ReadChar(2); }), kBadFileMode);
  EXPECT_EQ(errorOf([] { AtEnd(2); }), kBadFileMode);
  EXPECT_EQ(ReadChar(1), 'x');
}

}  // namespace
}  // namespace varnkit::files
