#pragma once
// What a settings-store operation came to. The store's callers mostly ignore failures (a lost
// setting is not worth a message box), but they must be able to see them.

#include <string>

namespace varnkit::profile {

struct [[nodiscard]] Status {
  bool ok = true;
  std::string error;  // what failed and why; empty when ok

  // A failed operation with its reason.
  static Status failed(std::string why) { return {false, std::move(why)}; }
};

}  // namespace varnkit::profile
