#pragma once
// The error the file, kit and sound code raise: a number and a text, as the program's callers
// (the window handlers) show them in a message box.

#include <cstdint>
#include <stdexcept>
#include <string>

namespace varnkit {

class Error : public std::runtime_error {
 public:
  // The classic runtime numbers the kit code raises.
  static constexpr int32_t kInvalidCall = 5;
  static constexpr int32_t kOverflow = 6;
  static constexpr int32_t kSubscriptOutOfRange = 9;
  static constexpr int32_t kTypeMismatch = 13;
  static constexpr int32_t kFileNotFound = 53;
  static constexpr int32_t kPathFileAccess = 75;
  static constexpr int32_t kKeyInUse = 457;
  static constexpr int32_t kNoSuchControl = 340;

  Error(int32_t number, const std::string& text) : std::runtime_error(text), number_(number) {}

  int32_t number() const noexcept { return number_; }
  std::string text() const { return what(); }

 private:
  int32_t number_;
};

}  // namespace varnkit
