#pragma once
// The outcome of a sound-device operation: DirectSound's HRESULT values, so that callers that
// report a failure report the number the sound service would have given.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace varnkit::audio {

enum class [[nodiscard]] DsResult : int32_t{
    Ok = 0,
    Generic = int32_t(0x80004005u),
    InvalidParam = int32_t(0x80070057u),
    OutOfMemory = int32_t(0x8007000Eu),
    Allocated = int32_t(0x8878000Au),
    ControlUnavail = int32_t(0x8878001Eu),
    InvalidCall = int32_t(0x88780032u),
    PrioLevelNeeded = int32_t(0x88780046u),
    BadFormat = int32_t(0x88780064u),
    NoDriver = int32_t(0x88780078u),
    BufferLost = int32_t(0x88780096u),
    FileNotFound = int32_t(0x80070002u),
};

// True for DsResult::Ok.
inline bool succeeded(DsResult r) noexcept {
  return r == DsResult::Ok;
}

// A failed operation: its result code and a text that says what failed and why.
struct Failure {
  DsResult code = DsResult::Generic;
  std::string text;
};

// Either a value or the Failure that prevented it; look at ok() before taking the value.
template <class T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::move(value)) {}
  Result(Failure failure) : v_(std::move(failure)) {}

  bool ok() const noexcept { return v_.index() == 0; }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const Failure& failure() const { return std::get<1>(v_); }

 private:
  std::variant<T, Failure> v_;
};

}  // namespace varnkit::audio
