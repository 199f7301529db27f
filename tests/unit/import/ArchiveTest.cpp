#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "import/Archive.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/import/TestArchive.h"

namespace varnkit::import {
namespace {

namespace fs = std::filesystem;
using testing::Member;
using testing::Packing;

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class ArchiveTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  fs::path archive = dir.path() / "kit.tar";
  fs::path into = dir.path() / "out";
  std::string why;

  bool extract(const std::vector<Member>& members, Packing packing = Packing::Tar,
               uint64_t maxBytes = 2ull << 30, std::size_t maxEntries = 20000) {
    testing::writeArchive(archive, members, packing);
    why.clear();
    return ExtractArchive(archive, into, why, maxBytes, maxEntries);
  }
};

TEST_F(ArchiveTest, UnpacksFoldersAndFilesOfTheFormatsKitsComeIn) {
  for (Packing packing : {Packing::TarGz, Packing::TarXz, Packing::Zip, Packing::SevenZip}) {
    fs::remove_all(into);
    ASSERT_TRUE(extract({{"Kit/", "", AE_IFDIR},
                         {"Kit/drumkit.xml", "<drumkit_info/>"},
                         {"Kit/Snares/snare 1.wav", "RIFF"}},
                        packing))
        << why;
    EXPECT_EQ(readAll(into / "Kit/drumkit.xml"), "<drumkit_info/>");
    EXPECT_EQ(readAll(into / "Kit/Snares/snare 1.wav"), "RIFF");
  }
}

// Each refused archive first unpacks a good file, which must be gone again.
TEST_F(ArchiveTest, RefusesHostileMembersAndLeavesNothing) {
  const struct {
    Member hostile;
    const char* why;
  } cases[] = {
      {{"/tmp/varnkit-evil.txt", "x"}, "\"/tmp/varnkit-evil.txt\" has an absolute path"},
      {{"Kit/../../evil.txt", "x"}, "\"Kit/../../evil.txt\" leads out"},
      {{"Kit\\..\\..\\evil.txt", "x"}, "leads out"},
      {{"Kit/link.wav", "", AE_IFLNK, "/etc/passwd"}, "\"Kit/link.wav\" is a symbolic link"},
      {{"Kit/hard.wav", "", AE_IFREG, "Kit/ok.wav", true}, "\"Kit/hard.wav\" is a hard link"},
      {{"Kit/dev", "", AE_IFCHR}, "\"Kit/dev\" is a device"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hostile.name);
    EXPECT_FALSE(extract({{"Kit/ok.wav", "RIFF"}, c.hostile}));
    EXPECT_NE(why.find(c.why), std::string::npos) << why;
    EXPECT_TRUE(fs::is_empty(into));
    EXPECT_FALSE(fs::exists(dir.path() / "evil.txt"));
    EXPECT_FALSE(fs::exists("/tmp/varnkit-evil.txt"));
  }
}

TEST_F(ArchiveTest, StopsAtTheLimitsOfSizeAndCount) {
  const std::string zeros(600 << 10, '\0');
  EXPECT_FALSE(extract({{"a.bin", zeros}, {"b.bin", zeros}}, Packing::TarGz, 1 << 20));
  EXPECT_EQ(why, "it is larger than 1 MB unpacked");
  EXPECT_TRUE(fs::is_empty(into));
  EXPECT_FALSE(extract({{"big.bin", std::string(5 << 20, '\0')}}, Packing::TarGz, 1 << 20));
  EXPECT_EQ(why, "it is larger than 1 MB unpacked");
  EXPECT_TRUE(extract({{"a.bin", zeros}}, Packing::TarGz, 1 << 20)) << why;

  EXPECT_FALSE(extract({{"1", "a"}, {"2", "b"}, {"3", "c"}, {"4", "d"}}, Packing::Tar, 1 << 20, 3));
  EXPECT_EQ(why, "it holds more than 3 files");
  EXPECT_TRUE(fs::is_empty(into));

  // Stopped after the first member: what was unpacked is gone again.
  int asked = 0;
  EXPECT_FALSE(ExtractArchive(archive, into, why, 1 << 20, 20000, [&] { return ++asked < 4; }));
  EXPECT_EQ(why, "the unpacking was stopped");
  EXPECT_TRUE(fs::is_empty(into));
}

// A member whose header claims 10 GB but whose data ends after a few bytes.
TEST_F(ArchiveTest, RefusesAHeaderThatClaimsMoreThanTheDataHolds) {
  testing::writeArchive(archive, {{"big.bin", std::string(1024, 'x')}}, Packing::Tar);
  std::string tar = readAll(archive);
  uint64_t claimed = 10ull << 30;  // twelve octal digits, the whole field
  for (int i = 11; i >= 0; --i, claimed >>= 3) tar[124 + i] = char('0' + (claimed & 7));
  std::fill(tar.begin() + 148, tar.begin() + 156, ' ');
  unsigned sum = 0;
  for (int i = 0; i < 512; ++i) sum += static_cast<unsigned char>(tar[i]);
  std::snprintf(&tar[148], 8, "%06o", sum);
  std::ofstream(archive, std::ios::binary | std::ios::trunc) << tar;

  EXPECT_FALSE(ExtractArchive(archive, into, why));
  EXPECT_NE(why.find("cannot be read"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_empty(into));

  testing::writeText(archive, "just some text, no archive");
  EXPECT_FALSE(ExtractArchive(archive, into, why));
  EXPECT_NE(why.find("cannot be read as an archive"), std::string::npos) << why;
}

// An mtree file is a list of names whose data the reader takes from the disk: it would copy
// any file the user can read into the kit.
TEST_F(ArchiveTest, ReadsNoOtherFormatNotMtreeWhoseFilesComeFromTheDisk) {
  testing::writeText(dir.path() / "secret.txt", "private");
  testing::writeText(archive, "#mtree\nKit/stolen.wav type=file contents=" +
                                  (dir.path() / "secret.txt").string() + "\n");
  EXPECT_FALSE(ExtractArchive(archive, into, why));
  EXPECT_NE(why.find("cannot be read as an archive"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_empty(into));

  EXPECT_FALSE(extract({{"Kit/kick.wav", "RIFF"}}, Packing::Cpio));
  EXPECT_NE(why.find("cannot be read as an archive"), std::string::npos) << why;
  EXPECT_TRUE(fs::is_empty(into));
}

}  // namespace
}  // namespace varnkit::import
