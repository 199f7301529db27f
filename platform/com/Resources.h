#pragma once
// Resources of a module: the version record, strings and bitmaps, kept in the section
// "varnkit_resources" of the module file, so that a host or a tool reads them without loading
// the module. Each is a record: a marker, a type, a number, a size, then the bytes with a
// closing zero, padded to 8.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnkit::com {

inline constexpr char kResourceMarker[8] = "VKRSRC1";
inline constexpr std::size_t kResourceTypeSize = 16;
inline constexpr std::size_t kResourceHeaderSize = 32;

constexpr std::size_t paddedResourceSize(std::size_t size) {
  return (size + 1 + 7) / 8 * 8;
}

template <std::size_t N>
struct alignas(8) ResourceRecord {
  char marker[8];
  char type[kResourceTypeSize];
  uint32_t id;
  uint32_t size;
  char data[paddedResourceSize(N - 1)];
};

// A record of type with number id holding text (without its closing zero).
template <std::size_t T, std::size_t N>
consteval ResourceRecord<N> makeResource(const char (&type)[T], uint32_t id,
                                         const char (&text)[N]) {
  static_assert(T <= kResourceTypeSize, "resource type too long");
  ResourceRecord<N> record{};
  for (std::size_t i = 0; i < 8; ++i) record.marker[i] = kResourceMarker[i];
  for (std::size_t i = 0; i < T; ++i) record.type[i] = type[i];
  record.id = id;
  record.size = uint32_t(N - 1);
  for (std::size_t i = 0; i < N; ++i) record.data[i] = text[i];
  return record;
}

// Puts a resource into the binary being built: VARNKIT_RESOURCE(kVersion, "VERSION", 1, "...").
#define VARNKIT_RESOURCE(name, type, id, text)                           \
  [[gnu::section("varnkit_resources"), gnu::used]] constexpr auto name = \
      ::varnkit::com::makeResource(type, id, text)

struct Resource {
  std::string type;
  uint32_t id = 0;
  std::string data;
};

// Every resource of the module file at path; empty when the file cannot be read, is not a
// 64-bit ELF file of this machine's byte order, has no resources or is damaged. Never reads
// outside the file, whatever it holds. Any thread.
std::vector<Resource> readResources(const std::string& path);
// The bytes of resource type / id; nullopt when there is none.
std::optional<std::string> readResource(const std::string& path, std::string_view type,
                                        uint32_t id);

// The records in the bytes of a resource section; what cannot be read is skipped.
std::vector<Resource> parseResources(std::string_view section);

}  // namespace varnkit::com
