#include "platform/com/Resources.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstring>

namespace varnkit::com {
namespace {

constexpr std::string_view kSection = "varnkit_resources";
// Bounds past which a file is damaged rather than large.
constexpr uint64_t kMaxNames = 1 << 20;
constexpr uint64_t kMaxSection = 16 << 20;

class File {
 public:
  explicit File(const std::string& path) : fd_(open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~File() {
    if (fd_ >= 0) close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool good() const { return fd_ >= 0; }
  uint64_t size() const {
    struct stat status;
    return fstat(fd_, &status) == 0 ? uint64_t(status.st_size) : 0;
  }
  // Exactly size bytes at offset, or false.
  bool read(uint64_t offset, uint64_t size, void* into) const {
    if (offset > this->size() || size > this->size() - offset) return false;
    uint64_t done = 0;
    while (done < size) {
      const ssize_t n =
          pread(fd_, static_cast<char*>(into) + done, size - done, off_t(offset + done));
      if (n <= 0) return false;
      done += uint64_t(n);
    }
    return true;
  }
  bool read(uint64_t offset, uint64_t size, std::string& into) const {
    if (offset > this->size() || size > this->size() - offset) return false;
    into.assign(size, '\0');
    return read(offset, size, into.data());
  }

 private:
  int fd_;
};

bool nativeElf64(const Elf64_Ehdr& header) {
  constexpr unsigned char kData =
      std::endian::native == std::endian::little ? ELFDATA2LSB : ELFDATA2MSB;
  return std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 &&
         header.e_ident[EI_CLASS] == ELFCLASS64 && header.e_ident[EI_DATA] == kData &&
         header.e_shentsize == sizeof(Elf64_Shdr) && header.e_shnum > 0 &&
         header.e_shstrndx < header.e_shnum;
}

// The name at offset of the names table; "" when it lies outside.
std::string_view nameAt(const std::string& names, uint64_t offset) {
  if (offset >= names.size()) return {};
  const char* start = names.data() + offset;
  return std::string_view(start, strnlen(start, names.size() - offset));
}

bool readSection(const File& file, const Elf64_Shdr& section, uint64_t limit, std::string& bytes) {
  if (section.sh_type == SHT_NOBITS || section.sh_size > limit) return false;
  return file.read(section.sh_offset, section.sh_size, bytes);
}

std::optional<std::string> findSection(const std::string& path) {
  const File file(path);
  Elf64_Ehdr header;
  if (!file.good() || !file.read(0, sizeof header, &header) || !nativeElf64(header))
    return std::nullopt;
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (!file.read(header.e_shoff, sections.size() * sizeof(Elf64_Shdr), sections.data()))
    return std::nullopt;
  std::string names;
  if (!readSection(file, sections[header.e_shstrndx], kMaxNames, names)) return std::nullopt;
  for (const Elf64_Shdr& section : sections) {
    std::string bytes;
    if (nameAt(names, section.sh_name) == kSection &&
        readSection(file, section, kMaxSection, bytes))
      return bytes;
  }
  return std::nullopt;
}

}  // namespace

std::vector<Resource> parseResources(std::string_view section) {
  std::vector<Resource> found;
  std::size_t at = 0;
  // Records sit at multiples of 8 from the section's start; the linker may pad between them.
  while (section.size() >= kResourceHeaderSize && at <= section.size() - kResourceHeaderSize) {
    const char* record = section.data() + at;
    if (std::memcmp(record, kResourceMarker, sizeof kResourceMarker) != 0) {
      at += 8;
      continue;
    }
    uint32_t id = 0, size = 0;
    std::memcpy(&id, record + 8 + kResourceTypeSize, 4);
    std::memcpy(&size, record + 12 + kResourceTypeSize, 4);
    const std::size_t room = section.size() - at - kResourceHeaderSize;
    if (paddedResourceSize(size) > room) {
      at += 8;
      continue;
    }
    const char* type = record + 8;
    found.push_back({std::string(type, strnlen(type, kResourceTypeSize)), id,
                     std::string(record + kResourceHeaderSize, size)});
    at += kResourceHeaderSize + paddedResourceSize(size);
  }
  return found;
}

std::vector<Resource> readResources(const std::string& path) {
  const auto section = findSection(path);
  return section ? parseResources(*section) : std::vector<Resource>();
}

std::optional<std::string> readResource(const std::string& path, std::string_view type,
                                        uint32_t id) {
  for (Resource& resource : readResources(path))
    if (resource.type == type && resource.id == id) return std::move(resource.data);
  return std::nullopt;
}

}  // namespace varnkit::com
