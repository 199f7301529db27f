// Resources kept in a section of a module file: read back from this very test program, and
// from damaged copies of it.

#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "platform/com/Resources.h"
#include "tests/unit/com/RegistryTestSupport.h"

namespace varnkit::com {
namespace {

VARNKIT_RESOURCE(kTestVersion, "VERSION", 1, "FileVersion=1.2.3.4\nOLESelfRegister=\n");
VARNKIT_RESOURCE(kTestString, "STRING", 200, "General");
VARNKIT_RESOURCE(kTestSeven, "STRING", 7, "1234567");  // fills its record without padding

std::string self() {
  return std::filesystem::read_symlink("/proc/self/exe").string();
}

std::string bytesOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

TEST(ResourceSection, AProgramsResourcesReadBackFromItsFile) {
  EXPECT_EQ(readResource(self(), "VERSION", 1), "FileVersion=1.2.3.4\nOLESelfRegister=\n");
  EXPECT_EQ(readResource(self(), "STRING", 200), "General");
  EXPECT_EQ(readResource(self(), "STRING", 7), "1234567");
  EXPECT_FALSE(readResource(self(), "STRING", 201));
  EXPECT_FALSE(readResource(self(), "BITMAP", 1));
  EXPECT_EQ(readResources(self()).size(), 3u);
}

TEST(ResourceSection, FilesThatAreNoModulesHaveNone) {
  EXPECT_TRUE(readResources("/no/such/file").empty());
  EXPECT_TRUE(readResources("/proc/self").empty());
  EXPECT_TRUE(readResources("/dev/null").empty());
}

TEST(ResourceSection, RecordsAreFoundAcrossPaddingAndDamagedOnesSkipped) {
  const auto record = makeResource("STRING", 9, "abc");
  std::string section(16, '\0');  // padding the linker may put first
  section.append(reinterpret_cast<const char*>(&record), sizeof record);
  std::string damaged(reinterpret_cast<const char*>(&record), sizeof record);
  const uint32_t huge = 0xFFFFFFF0;
  std::memcpy(damaged.data() + 28, &huge, 4);  // a size running past the end
  section += damaged;
  section.append(reinterpret_cast<const char*>(&record), 20);  // cut short
  const std::vector<Resource> found = parseResources(section);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0].type, "STRING");
  EXPECT_EQ(found[0].id, 9u);
  EXPECT_EQ(found[0].data, "abc");
}

class DamagedModule : public testing::TemporaryRegistry {
 protected:
  // Writes bytes as a file and reads its resources; whatever comes back must be whole.
  void readDamaged(const std::string& bytes) {
    const std::string copy = folder + "/copy";
    std::ofstream(copy, std::ios::binary | std::ios::trunc) << bytes;
    for (const Resource& resource : readResources(copy)) {
      EXPECT_LE(resource.type.size(), kResourceTypeSize);
      if (resource.id == 200) {
        EXPECT_EQ(resource.data, "General");
      }
    }
  }
};

TEST_F(DamagedModule, TruncatedCopiesAreReadWithoutHarm) {
  const std::string bytes = bytesOf(self());
  for (std::size_t length :
       {std::size_t(0), std::size_t(10), sizeof(Elf64_Ehdr) - 1, sizeof(Elf64_Ehdr),
        bytes.size() / 3, bytes.size() / 2, bytes.size() - sizeof(Elf64_Shdr), bytes.size() - 1})
    readDamaged(bytes.substr(0, length));
}

// The index of the section called name; the file's own section count when there is none.
std::size_t sectionIndex(const std::string& bytes, const Elf64_Ehdr& header,
                         const std::string& name) {
  const auto section = [&](std::size_t s) {
    Elf64_Shdr shdr;
    std::memcpy(&shdr, bytes.data() + header.e_shoff + s * sizeof shdr, sizeof shdr);
    return shdr;
  };
  const Elf64_Shdr names = section(header.e_shstrndx);
  for (std::size_t s = 0; s < header.e_shnum; ++s)
    if (bytes.c_str() + names.sh_offset + section(s).sh_name == name) return s;
  return header.e_shnum;
}

TEST_F(DamagedModule, CorruptedHeadersAreReadWithoutHarm) {
  const std::string bytes = bytesOf(self());
  Elf64_Ehdr header;
  std::memcpy(&header, bytes.data(), sizeof header);
  struct Field {
    std::size_t at, size;
  };
  std::vector<Field> fields = {{offsetof(Elf64_Ehdr, e_shoff), 8},
                               {offsetof(Elf64_Ehdr, e_shnum), 2},
                               {offsetof(Elf64_Ehdr, e_shstrndx), 2},
                               {offsetof(Elf64_Ehdr, e_shentsize), 2}};
  const std::size_t resources = sectionIndex(bytes, header, "varnkit_resources");
  ASSERT_LT(resources, header.e_shnum);
  for (std::size_t s : {std::size_t(header.e_shstrndx), resources}) {
    const std::size_t at = header.e_shoff + s * sizeof(Elf64_Shdr);
    fields.push_back({at + offsetof(Elf64_Shdr, sh_name), 4});
    fields.push_back({at + offsetof(Elf64_Shdr, sh_offset), 8});
    fields.push_back({at + offsetof(Elf64_Shdr, sh_size), 8});
  }
  std::mt19937_64 random(11);
  for (const Field& field : fields) {
    for (uint64_t value : {uint64_t(0), ~uint64_t(0), uint64_t(bytes.size()), uint64_t(random())}) {
      std::string damaged = bytes;
      std::memcpy(damaged.data() + field.at, &value, field.size);
      readDamaged(damaged);
    }
  }
}

}  // namespace
}  // namespace varnkit::com
