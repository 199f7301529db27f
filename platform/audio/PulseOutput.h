#pragma once
// The output stream as a PulseAudio playback stream that asks for its latency: a target
// length of two blocks, so that the server neither holds seconds of sound nor pushes the
// whole graph (pipewire-pulse's) to a long cycle, and --buffer means what it says here too.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "platform/audio/OutputBackend.h"
#include "platform/audio/ProgressWatch.h"

struct pa_simple;

namespace varnkit::audio {

class PulseOutput final : public OutputBackend {
 public:
  static constexpr uint32_t kRate = 44100;
  // Frames per block when the caller names none.
  static constexpr unsigned kBlockFrames = 256;
  // No block taken for this long: the server has stopped taking sound.
  static constexpr std::chrono::milliseconds kStallLimit{750};

  // Connects to the user's PulseAudio server (or PULSE_SERVER) and opens a stream on its
  // default sink, blockFrames per block (0: kBlockFrames). User-interface thread.
  static Result<std::unique_ptr<PulseOutput>> open(const std::string& clientName,
                                                   unsigned blockFrames = 0);
  ~PulseOutput() override;
  PulseOutput(const PulseOutput&) = delete;
  PulseOutput& operator=(const PulseOutput&) = delete;

  uint32_t sampleRate() const override { return kRate; }
  std::string name() const override { return "PulseAudio"; }
  unsigned blockFrames() const { return block_; }
  // Starts the stream's thread, which renders a block and hands it to the server, whose
  // write waits until the server wants more.
  DsResult start(engine::Engine& engine) override;
  void stop() noexcept override;
  // A write failed (the server went away), or the server took nothing for kStallLimit.
  // User-interface thread.
  bool lost() noexcept override;

 private:
  PulseOutput(pa_simple* stream, unsigned blockFrames);
  void run() noexcept;

  pa_simple* stream_;
  const unsigned block_;
  engine::Engine* engine_ = nullptr;
  std::unique_ptr<float[]> buffer_;  // one block, interleaved
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> ended_{true};  // the thread has left its loop
  bool abandoned_ = false;         // its thread hung in a write and was let go
  std::atomic<bool> failed_{false};
  std::atomic<uint64_t> blocksTaken_{0};
  ProgressWatch taken_;  // user-interface thread
};

}  // namespace varnkit::audio
