#pragma once
// The output stream as a PipeWire playback stream of VarnKit's own: stereo float to the
// default sink, followed when the user switches outputs, at a quantum VarnKit asks for itself,
// so that a desktop's sound server plays a hit within a few milliseconds.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "platform/audio/FrameClock.h"
#include "platform/audio/OutputBackend.h"
#include "platform/audio/ProgressWatch.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;

namespace varnkit::audio {

// The last cycle the stream rendered: its first frame, its length and when the graph ran it.
// Written by the process callback, read by any thread; a reader that meets a write under way
// reads again (it lasts a few stores).
class PipeWireClock final : public FrameClock {
 public:
  // Process callback only.
  void stamp(uint32_t first, uint32_t frames, int64_t ns) noexcept;

  uint32_t cycleStart() const noexcept override { return read().first; }
  uint32_t period() const noexcept override { return read().frames; }
  // One quantum after the arrival: the frame in the next cycle that lies as far into it as
  // the arrival lay into the last one. An arrival long after the last cycle (the stream
  // stalls) is held to two cycles ahead. monotonicNs: CLOCK_MONOTONIC, as the graph's.
  std::optional<uint32_t> frameForArrival(int64_t monotonicNs) const noexcept;
  std::optional<uint32_t> frameForArrivalNow() const noexcept override;

 private:
  struct Stamp {
    uint32_t first, frames;
    int64_t ns;
  };
  Stamp read() const noexcept;

  std::atomic<uint32_t> seq_{0};
  std::atomic<uint32_t> first_{0};
  std::atomic<uint32_t> frames_{0};
  std::atomic<int64_t> ns_{0};
};

class PipeWireOutput final : public OutputBackend {
 public:
  // The rate the stream asks for: PipeWire's own default graph rate, so that nothing is
  // resampled on a stock desktop.
  static constexpr uint32_t kRate = 48000;
  // Frames per cycle asked for when the caller names none.
  static constexpr unsigned kQuantum = 128;
  // Nothing taken for this long after the stream ran: the server has stopped taking sound.
  static constexpr std::chrono::milliseconds kStallLimit{750};
  // A stream that never starts running within this long is not getting to a sink.
  static constexpr std::chrono::milliseconds kStartLimit{2000};

  // Connects to the PipeWire server the user's session runs (XDG_RUNTIME_DIR), asking for
  // quantum frames per cycle (0: kQuantum). Fails at once when no server answers.
  // User-interface thread.
  static Result<std::unique_ptr<PipeWireOutput>> open(const std::string& clientName,
                                                      unsigned quantum = 0);
  ~PipeWireOutput() override;
  PipeWireOutput(const PipeWireOutput&) = delete;
  PipeWireOutput& operator=(const PipeWireOutput&) = delete;

  uint32_t sampleRate() const override { return kRate; }
  std::string name() const override { return "PipeWire"; }
  // The quantum asked for.
  unsigned quantum() const { return quantum_; }
  DsResult start(engine::Engine& engine) override;
  void stop() noexcept override;
  // The stream's own timeline, each cycle stamped with the monotonic time the graph ran it:
  // a note that arrives at any moment is placed one quantum later, to the frame.
  std::shared_ptr<const FrameClock> clock() const override;
  // The server went away or failed the stream, or it took no sound for kStallLimit.
  // User-interface thread.
  bool lost() noexcept override;

 private:
  struct Loop;
  PipeWireOutput(std::unique_ptr<Loop> loop, std::string clientName, unsigned quantum);
  static void onProcess(void* self) noexcept;
  static void onStateChanged(void* self, int old, int state, const char* error) noexcept;
  static void onCoreError(void* self, uint32_t id, int seq, int res, const char* message) noexcept;
  void render() noexcept;

  std::unique_ptr<Loop> loop_;
  const std::string clientName_;
  const unsigned quantum_;
  engine::Engine* engine_ = nullptr;
  pw_stream* stream_ = nullptr;
  std::atomic<bool> failed_{false};       // the server or the stream said so
  std::atomic<uint64_t> framesTaken_{0};  // by the server, in its cycles: the timeline
  std::shared_ptr<PipeWireClock> clock_;
  ProgressWatch taken_;  // user-interface thread
};

}  // namespace varnkit::audio
