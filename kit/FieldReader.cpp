#include "kit/FieldReader.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <utility>

#include "platform/Error.h"
#include "platform/files/TextFiles.h"

namespace varnkit {
namespace {

// A number as written: the parts that decide its value and whether it is out of range.
struct NumberText {
  bool negative = false;
  std::string_view unsigned_;  // from the first digit or point to the end, exponent included
  long magnitude = 0;          // the exponent plus the place of the first significant digit
};

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

std::string_view trimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Counts the digits at the front of s, removing them; leading zeros counted apart.
size_t takeDigits(std::string_view& s, size_t* leadingZeros = nullptr) {
  size_t n = 0;
  while (n < s.size() && isDigit(s[n])) {
    if (leadingZeros && *leadingZeros == n && s[n] == '0') ++*leadingZeros;
    ++n;
  }
  s.remove_prefix(n);
  return n;
}

// An exponent far beyond any double's only needs to keep its sign.
long takeExponent(std::string_view& s) {
  const bool minus = s.front() == '-';
  if (s.front() == '+' || s.front() == '-') s.remove_prefix(1);
  long value = 0;
  for (; !s.empty() && isDigit(s.front()); s.remove_prefix(1)) {
    value = std::min(value * 10 + (s.front() - '0'), 100000L);
  }
  return minus ? -value : value;
}

// Digits with an optional point and exponent, after an optional sign.
std::optional<NumberText> scan(std::string_view text) {
  NumberText n;
  std::string_view s = trimSpaces(text);
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    n.negative = s.front() == '-';
    s.remove_prefix(1);
  }
  n.unsigned_ = s;
  size_t wholeZeros = 0, fractionZeros = 0, fraction = 0;
  const size_t whole = takeDigits(s, &wholeZeros);
  if (!s.empty() && s.front() == '.') {
    s.remove_prefix(1);
    fraction = takeDigits(s, &fractionZeros);
  }
  if (whole + fraction == 0) return std::nullopt;
  n.magnitude = whole > wholeZeros ? long(whole - wholeZeros) : -long(fractionZeros);
  if (!s.empty() && (s.front() == 'e' || s.front() == 'E')) {
    s.remove_prefix(1);
    const size_t sign = (!s.empty() && (s.front() == '+' || s.front() == '-')) ? 1 : 0;
    if (s.size() <= sign || !isDigit(s[sign])) return std::nullopt;
    n.magnitude += takeExponent(s);
  }
  if (!s.empty()) return std::nullopt;
  return n;
}

[[noreturn]] void typeMismatch(std::string_view text) {
  throw Error(Error::kTypeMismatch, "Type mismatch: \"" + std::string(text) + "\" is not a number");
}

[[noreturn]] void overflow(std::string_view text, const char* target) {
  throw Error(Error::kOverflow,
              "Overflow: \"" + std::string(text) + "\" does not fit " + std::string(target));
}

void assign(const FieldRef& field, const std::string& text) {
  if (auto* s = std::get_if<std::string*>(&field)) {
    **s = text;
  } else if (auto* i = std::get_if<int32_t*>(&field)) {
    **i = FieldToInt32(text);
  } else {
    **std::get_if<double*>(&field) = FieldToDouble(text);
  }
}

bool isNull(const FieldRef& field) {
  return std::visit([](auto* p) { return p == nullptr; }, field);
}

double toDouble(std::string_view text, const char* target) {
  const auto n = scan(text);
  if (!n) typeMismatch(text);
  double value = 0;
  const char* end = n->unsigned_.data() + n->unsigned_.size();
  const auto [ptr, ec] = std::from_chars(n->unsigned_.data(), end, value);
  if (ec == std::errc::result_out_of_range) {
    if (n->magnitude > 0) overflow(text, target);
    value = 0;
  } else if (ec != std::errc() || ptr != end) {
    typeMismatch(text);
  }
  return n->negative ? -value : value;
}

}  // namespace

double FieldToDouble(std::string_view text) {
  return toDouble(text, "a double");
}

int32_t FieldToInt32(std::string_view text) {
  // Rounding to nearest uses the default mode, which sends halves to the even neighbour.
  const double rounded = std::nearbyint(toDouble(text, "a 32-bit number"));
  if (!(rounded >= double(std::numeric_limits<int32_t>::min()) &&
        rounded <= double(std::numeric_limits<int32_t>::max()))) {
    overflow(text, "a 32-bit number");
  }
  return int32_t(rounded);
}

void ReadCommaFields(int32_t file, std::span<const FieldRef> fields) {
  for (const FieldRef& field : fields) {
    if (isNull(field)) throw Error(Error::kInvalidCall, "Invalid procedure call: no variable");
  }
  std::string field;
  for (size_t i = 0; i < fields.size(); ++i) {
    while (!files::AtEnd(file)) {
      const char c = files::ReadChar(file);
      if (c == ',') {
        assign(fields[i], std::exchange(field, {}));
        break;
      }
      if (c != '\n' && c != '\r' && c != '\t') field += c;
    }
    if (files::AtEnd(file)) {
      if (!field.empty() && i == 0) assign(fields[0], field);
      return;
    }
  }
}

}  // namespace varnkit
