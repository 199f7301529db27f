#pragma once
// What a file operation came to. Some callers ignore failures on purpose (a kit folder that
// exists already, a sample copied onto itself), but they can always see them.

#include <string>
#include <utility>

namespace varnkit::files {

struct [[nodiscard]] Status {
  bool ok = true;
  std::string error;  // what failed and why; empty when ok

  // A failed operation with its reason.
  static Status failed(std::string why) { return {false, std::move(why)}; }
};

}  // namespace varnkit::files
