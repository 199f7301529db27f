#pragma once
// Helpers for tests of file-based services: whole files as bytes, environment variables set
// for one test, and the number of a raised error.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace varnkit::testing {

// The whole file as bytes ("" when it cannot be read).
inline std::string readBytes(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Writes text to path byte for byte, replacing the file.
inline void writeBytes(const std::filesystem::path& path, std::string_view text) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f.write(text.data(), std::streamsize(text.size()))) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

// The number of the varnkit::Error that action raises; 0 when it raises none.
template <class Action>
int32_t errorOf(Action&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

// Sets (or with nullopt, removes) an environment variable until the end of the scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    set(value);
  }
  ~ScopedEnv() { set(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;

  void set(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_, value->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
};

}  // namespace varnkit::testing
