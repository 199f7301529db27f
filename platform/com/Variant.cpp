#include "platform/com/Variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string_view>

#include "platform/com/Text.h"

namespace varnkit::com {
namespace {

constexpr VarType kTypes[] = {VarType::Empty, VarType::I2,     VarType::I4,
                              VarType::R8,    VarType::String, VarType::Bool};

// A number written as text, with spaces around it allowed; "True" and "False" count too.
HRESULT parseNumber(std::string_view text, double& value) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (sameName(text, "true")) return value = -1, S_OK;
  if (sameName(text, "false")) return value = 0, S_OK;
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  if (text.empty()) return DISP_E_TYPEMISMATCH;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error == std::errc::result_out_of_range) return DISP_E_OVERFLOW;
  if (error != std::errc() || end != text.data() + text.size()) return DISP_E_TYPEMISMATCH;
  return S_OK;
}

// in as a number.
HRESULT numberOf(const Variant& in, double& value) {
  switch (in.type()) {
    case VarType::I2:
      return value = in.i2(), S_OK;
    case VarType::I4:
      return value = in.i4(), S_OK;
    case VarType::R8:
      return value = in.r8(), S_OK;
    case VarType::Bool:
      return value = in.boolean() ? -1 : 0, S_OK;
    case VarType::String:
      return parseNumber(in.string(), value);
    case VarType::Empty:
      break;
  }
  return DISP_E_TYPEMISMATCH;
}

template <class Int>
HRESULT toInteger(double value, Variant& out) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  const double rounded = std::nearbyint(value);  // the default mode rounds half to even
  if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max())
    return DISP_E_OVERFLOW;
  out = Variant(Int(rounded));
  return S_OK;
}

std::string textOf(const Variant& in) {
  switch (in.type()) {
    case VarType::I2:
      return std::to_string(in.i2());
    case VarType::I4:
      return std::to_string(in.i4());
    case VarType::Bool:
      return in.boolean() ? "True" : "False";
    case VarType::R8: {
      char text[32];
      const auto result = std::to_chars(text, text + sizeof text, in.r8());
      return std::string(text, result.ptr);
    }
    default:
      return in.string();
  }
}

}  // namespace

VarType Variant::type() const noexcept {
  return kTypes[value_.index()];
}

HRESULT changeType(const Variant& in, VarType to, Variant& out) noexcept {
  if (in.type() == to) {
    if (to != VarType::String) return out = in, S_OK;
    try {
      out = in;
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  if (in.empty() || to == VarType::Empty) return DISP_E_TYPEMISMATCH;
  if (to == VarType::String) {
    try {
      out = Variant(textOf(in));
      return S_OK;
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  double value = 0;
  if (const HRESULT hr = numberOf(in, value); failed(hr)) return hr;
  switch (to) {
    case VarType::I2:
      return toInteger<int16_t>(value, out);
    case VarType::I4:
      return toInteger<int32_t>(value, out);
    case VarType::R8:
      return out = Variant(value), S_OK;
    case VarType::Bool:
      if (std::isnan(value)) return DISP_E_TYPEMISMATCH;
      return out = Variant(value != 0), S_OK;
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

const char* typeName(VarType type) noexcept {
  switch (type) {
    case VarType::I2:
      return "short";
    case VarType::I4:
      return "long";
    case VarType::R8:
      return "double";
    case VarType::String:
      return "BSTR";
    case VarType::Bool:
      return "VARIANT_BOOL";
    case VarType::Empty:
      break;
  }
  return "void";
}

}  // namespace varnkit::com
