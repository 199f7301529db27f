#include "platform/audio/StreamWatch.h"

#include <algorithm>

#include "engine/Engine.h"

namespace varnkit::audio {

bool StreamWatch::render(engine::Engine& engine, float* out, uint32_t frames) noexcept {
  failedInRow_ = failed_.exchange(false, std::memory_order_relaxed) ? failedInRow_ + 1 : 0;
  if (failedInRow_ >= kFailedWrites) gaveUp_.store(true, std::memory_order_release);
  if (gaveUp_.load(std::memory_order_relaxed)) {
    std::fill(out, out + 2 * std::size_t(frames), 0.0f);
    return false;
  }
  engine.render(out, frames);
  blocks_.fetch_add(1, std::memory_order_relaxed);
  return true;
}

void StreamWatch::started(Clock::time_point now, std::chrono::nanoseconds blockTime) {
  seenBlocks_ = paceBlocks_ = blocks_.load(std::memory_order_relaxed);
  seenAt_ = paceAt_ = now;
  blockTime_ = blockTime;
}

bool StreamWatch::lost(Clock::time_point now) noexcept {
  if (gaveUp_.load(std::memory_order_acquire)) return true;
  const uint64_t blocks = blocks_.load(std::memory_order_relaxed);
  if (blocks != seenBlocks_) {
    seenBlocks_ = blocks;
    seenAt_ = now;
  }
  if (now - paceAt_ >= kPace) {
    const auto played = (blocks - paceBlocks_) * blockTime_;
    const bool runaway = played > kRunaway * (now - paceAt_) + kAhead;
    paceBlocks_ = blocks;
    paceAt_ = now;
    if (runaway) {
      gaveUp_.store(true, std::memory_order_release);  // and the stream's thread stops calling
      return true;
    }
  }
  return now - seenAt_ > kStallLimit;
}

}  // namespace varnkit::audio
