#include "platform/midi/PortClaim.h"

#include <mutex>
#include <set>

namespace varnkit::midi {
namespace {

struct Claims {
  std::mutex lock;
  std::set<std::string> held;
};

// Never destroyed: ports may still be let go during the process's exit.
Claims& claims() {
  static Claims* all = new Claims;
  return *all;
}

}  // namespace

PortClaim::PortClaim(Direction direction, const PortRef& port) {
  std::string key = (direction == Direction::In ? "in/" : "out/") + std::to_string(int(port.api)) +
                    "/" + port.name;
  Claims& all = claims();
  std::lock_guard guard(all.lock);
  if (all.held.insert(key).second) key_ = std::move(key);
}

PortClaim& PortClaim::operator=(PortClaim&& other) noexcept {
  if (this != &other) {
    release();
    key_ = std::move(other.key_);
    other.key_.clear();
  }
  return *this;
}

void PortClaim::release() noexcept {
  if (key_.empty()) return;
  Claims& all = claims();
  std::lock_guard guard(all.lock);
  all.held.erase(key_);
  key_.clear();
}

}  // namespace varnkit::midi
