#pragma once
// A value passed to or from a dispatch call: empty, a 16- or 32-bit integer, a double, a
// string (bytes, owned by whoever holds the variant) or a boolean.

#include <cstdint>
#include <string>
#include <variant>

#include "platform/com/Result.h"

namespace varnkit::com {

enum class VarType : uint16_t {
  Empty = 0,
  I2 = 2,
  I4 = 3,
  R8 = 5,
  String = 8,
  Bool = 11,
};

class Variant {
 public:
  Variant() noexcept = default;
  Variant(int16_t v) noexcept : value_(v) {}
  Variant(int32_t v) noexcept : value_(v) {}
  Variant(double v) noexcept : value_(v) {}
  Variant(bool v) noexcept : value_(v) {}
  Variant(std::string v) noexcept : value_(std::move(v)) {}
  Variant(const char* v) : value_(std::string(v)) {}

  VarType type() const noexcept;
  bool empty() const noexcept { return value_.index() == 0; }

  // The value as held; the type must match (see type()).
  int16_t i2() const { return std::get<int16_t>(value_); }
  int32_t i4() const { return std::get<int32_t>(value_); }
  double r8() const { return std::get<double>(value_); }
  const std::string& string() const { return std::get<std::string>(value_); }
  bool boolean() const { return std::get<bool>(value_); }

  bool operator==(const Variant&) const = default;

 private:
  std::variant<std::monostate, int16_t, int32_t, double, std::string, bool> value_;
};

// Converts in to type to, as a late-bound caller expects: numbers into each other (doubles
// rounded half to even, true as -1), numbers written as text into numbers and back.
// DISP_E_TYPEMISMATCH when in cannot be read as that type, DISP_E_OVERFLOW when it does not
// fit. Any thread; neither locks nor allocates unless in or to is a string.
HRESULT changeType(const Variant& in, VarType to, Variant& out) noexcept;

// The name of a type as the type library writes it ("short", "long", "BSTR", ...).
const char* typeName(VarType type) noexcept;

}  // namespace varnkit::com
