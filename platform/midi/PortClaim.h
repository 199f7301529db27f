#pragma once
// A port held open by this process. A port is held by one opener at a time, so that a
// second open is refused the way a device in use is refused.

#include <string>

#include "platform/midi/PortList.h"

namespace varnkit::midi {

class PortClaim {
 public:
  PortClaim() = default;
  // Takes port for direction; an empty claim (held() false) when it is held already.
  PortClaim(Direction direction, const PortRef& port);
  ~PortClaim() { release(); }
  PortClaim(PortClaim&& other) noexcept : key_(std::move(other.key_)) { other.key_.clear(); }
  PortClaim& operator=(PortClaim&& other) noexcept;
  PortClaim(const PortClaim&) = delete;
  PortClaim& operator=(const PortClaim&) = delete;

  bool held() const noexcept { return !key_.empty(); }
  // Lets the port go; another opener may take it from now on.
  void release() noexcept;

 private:
  std::string key_;
};

}  // namespace varnkit::midi
