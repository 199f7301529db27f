#pragma once
// Whether a stream that its service calls block after block still reaches its device. RtAudio
// goes on calling while every write to an unplugged ALSA device or a dead PulseAudio server
// fails at once, so a rising count of blocks says nothing: the failed writes do. After a run
// of them the stream stops asking for blocks, which ends the calling, and the loss is told.
// A stream asked for blocks far faster than they can play is not reaching its device either,
// whether or not its service tells of failed writes.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace varnkit::engine {
class Engine;
}

namespace varnkit::audio {

class StreamWatch {
 public:
  using Clock = std::chrono::steady_clock;
  // Writes failing one after another before the stream gives up: a device that is gone fails
  // every write, a passing fault not so many in a row.
  static constexpr uint32_t kFailedWrites = 8;
  // A stream that renders nothing for this long has stopped calling.
  static constexpr std::chrono::milliseconds kStallLimit{750};
  // Over spans of kPace, a stream asked for more than kRunaway times the blocks that play in
  // that time, beyond kAhead, does not wait for its device. kAhead is more than a server takes
  // in at once when a stream starts (PulseAudio's default buffer holds two seconds).
  static constexpr std::chrono::milliseconds kPace{400};
  static constexpr uint32_t kRunaway = 4;
  static constexpr std::chrono::milliseconds kAhead{3000};

  // Audio thread, for each block the service asks for: renders it from engine into out, or,
  // once writes kept failing, fills it with silence. False: the stream must stop calling.
  bool render(engine::Engine& engine, float* out, uint32_t frames) noexcept;
  // Audio thread: the last block rendered could not be written (an underrun is no failure).
  void writeFailed() noexcept { failed_.store(true, std::memory_order_relaxed); }

  // User-interface thread: the stream starts now, each block lasting blockTime.
  void started(Clock::time_point now, std::chrono::nanoseconds blockTime);
  // User-interface thread: writes kept failing, nothing was rendered for kStallLimit, or
  // blocks were asked for far faster than they play.
  bool lost(Clock::time_point now) noexcept;

 private:
  std::atomic<bool> failed_{false};
  uint32_t failedInRow_ = 0;  // audio thread
  std::atomic<bool> gaveUp_{false};
  std::atomic<uint64_t> blocks_{0};
  uint64_t seenBlocks_ = 0;  // user-interface thread from here on: what lost() last saw
  Clock::time_point seenAt_{};
  std::chrono::nanoseconds blockTime_{};
  uint64_t paceBlocks_ = 0;  // the blocks and the time the span of kPace under way began with
  Clock::time_point paceAt_{};
};

}  // namespace varnkit::audio
