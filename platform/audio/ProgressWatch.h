#pragma once
// Whether a count that a stream's server drives (frames or blocks it took, cycles it ran) has
// stood still for too long: a server that has stopped taking sound, whether or not it said so.

#include <chrono>
#include <cstdint>

namespace varnkit::audio {

class ProgressWatch {
 public:
  using Clock = std::chrono::steady_clock;

  // The count as the stream starts. User-interface thread, as the rest.
  void restart(uint64_t count, Clock::time_point now = Clock::now()) noexcept {
    seen_ = count;
    seenAt_ = now;
    moved_ = false;
  }
  // True once count has not moved for limit, or for startLimit when it never moved since the
  // start.
  bool stalled(uint64_t count, std::chrono::milliseconds limit,
               std::chrono::milliseconds startLimit,
               Clock::time_point now = Clock::now()) noexcept {
    if (count != seen_) {
      seen_ = count;
      seenAt_ = now;
      moved_ = true;
      return false;
    }
    return now - seenAt_ > (moved_ ? limit : startLimit);
  }

 private:
  uint64_t seen_ = 0;
  Clock::time_point seenAt_{};
  bool moved_ = false;
};

}  // namespace varnkit::audio
