#pragma once
// Globally unique identifiers of classes, interfaces and type libraries, written
// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnkit::com {

struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};

  auto operator<=>(const GUID&) const = default;
};
using IID = GUID;
using CLSID = GUID;

namespace detail {

constexpr int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads count hex digits at text[at]; false when one is not a hex digit.
constexpr bool readHex(std::string_view text, std::size_t at, std::size_t count, uint32_t& value) {
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const int digit = hexDigit(text[at + i]);
    if (digit < 0) return false;
    value = value << 4 | uint32_t(digit);
  }
  return true;
}

constexpr std::optional<GUID> parse(std::string_view text) {
  if (text.size() != 38 || text[0] != '{' || text[37] != '}') return std::nullopt;
  for (std::size_t dash : {9, 14, 19, 24})
    if (text[dash] != '-') return std::nullopt;
  GUID id;
  uint32_t part = 0;
  if (!readHex(text, 1, 8, id.Data1)) return std::nullopt;
  if (!readHex(text, 10, 4, part)) return std::nullopt;
  id.Data2 = uint16_t(part);
  if (!readHex(text, 15, 4, part)) return std::nullopt;
  id.Data3 = uint16_t(part);
  constexpr std::size_t kBytes[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (std::size_t i = 0; i < 8; ++i) {
    if (!readHex(text, kBytes[i], 2, part)) return std::nullopt;
    id.Data4[i] = uint8_t(part);
  }
  return id;
}

}  // namespace detail

// The identifier written in text, in braces; nullopt when text is not one.
constexpr std::optional<GUID> parseGuid(std::string_view text) {
  return detail::parse(text);
}

// An identifier written in the source; a malformed one does not compile.
consteval GUID guid(const char (&text)[39]) {
  const std::optional<GUID> id = detail::parse(std::string_view(text, 38));
  if (!id) throw "malformed identifier";
  return *id;
}

// The identifier in braces with upper-case digits.
std::string toString(const GUID& id);

}  // namespace varnkit::com
