#pragma once
// The sound engine: a kit, events at their frames, and blocks of stereo sound. It knows no
// window, toolkit or sound service; each instance owns all its state, so a process may run
// several side by side.
//
// Three threads meet here. The control thread (a program's window, a plugin's worker side)
// publishes kits, posts events and voice commands, and frees what the engine hands back. The
// live thread (a MIDI input) posts events at their frames. The render thread renders; it never
// allocates, locks, waits, frees or makes a system call, and a voice released while it plays
// is freed on the control thread only once the render thread has let go of it.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "engine/Event.h"
#include "engine/Kit.h"
#include "engine/SpscQueue.h"
#include "engine/Voice.h"

namespace varnkit::engine {

// A control thread's command to one voice, for hosts that play single voices as well as kits.
struct Command {
  enum class Op : uint8_t { Rewind, SetGain, Play, Stop, Release, Follow };
  Op op = Op::Stop;
  Voice* voice = nullptr;
  float gain = 0.0f;     // SetGain
  uint64_t frame = 0;    // Rewind: the frame to continue from
  uint32_t serial = 0;   // Play
  bool looping = false;  // Play
  Event event{};         // Follow: the event, decided on the newest kit when it takes effect
  bool timed = false;    // false: at the start of the next block rendered
  uint32_t due = 0;      // timed: the frame it takes effect at
};

class Engine {
 public:
  static constexpr double kFadeSeconds = 0.002;
  static constexpr std::size_t kCommandCapacity = 4096;
  static constexpr std::size_t kLiveCapacity = 1024;

  explicit Engine(uint32_t sampleRate);
  // Frees every voice still known to the engine. No thread may be rendering by then.
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Control thread: events are decided on kit from the next event or block on, unless it plays
  // exactly as the newest kit published, which then stays. The kit, and every voice it names,
  // stay alive until the render thread has moved on from it.
  void publish(std::unique_ptr<KitDescription> kit);
  // Control thread: the newest kit published, or null.
  const KitDescription* kit() const noexcept {
    return tables_.empty() ? nullptr : tables_.back().get();
  }

  // Control thread: event takes effect at the start of the next block rendered (or at the
  // frame set with setDue), after the commands posted before it, on the newest kit published.
  // False when the queue is full.
  bool post(const Event& event) noexcept;
  // The live thread: event takes effect at its frame on render's timeline (a late one at the
  // start of the next block). False, and nothing queued, when the queue is full, while
  // detached (an event that came while the stream was gone never sounds later), or when the
  // host must follow it itself (HostPlays). Never waits or allocates.
  bool postLive(const Event& event) noexcept;

  // Render thread: writes frames of interleaved stereo into out, clipped to -1..1; the block
  // follows on from the last one rendered.
  void render(float* out, uint32_t frames) noexcept;
  // Render thread: the same for a block that starts at frame blockStart of the timeline
  // events and due frames are given on.
  void render(float* out, uint32_t frames, uint32_t blockStart) noexcept;
  // Render thread: the same, with the block's own events, their frames counted from the
  // block's start and in order (a plugin's or a renderer's events).
  void render(float* out, uint32_t frames, std::span<const Event> events) noexcept;
  // Render thread: the same, and each pad's own sound also into buses[pad] (interleaved
  // stereo, frames long, clipped; null or past the span's end: that pad goes to out alone),
  // so a mixer can give every drum a channel of its own.
  void render(float* out, uint32_t frames, std::span<const Event> events,
              std::span<float* const> buses) noexcept;

  // Any thread.
  uint32_t sampleRate() const noexcept { return rate_; }
  uint32_t fadeFrames() const noexcept { return fadeFrames_; }
  // Any thread: voices playing, and fading tails, as of the last block.
  uint32_t activeVoices() const noexcept { return activeCount_.load(std::memory_order_relaxed); }
  // Any thread: blocks rendered so far; a stream that stopped calling stops the count.
  uint64_t blocksRendered() const noexcept { return blocks_.load(std::memory_order_relaxed); }

  // Control thread: queues a voice command; false when the queue is full.
  bool post(const Command& c) noexcept;
  // Control thread: the voice's owner lets go of it; freed once no kit names it and the
  // render thread has let go.
  void release(Voice* voice);
  // Control thread: frees what the render thread has handed back.
  void collect();
  // Control thread: whether older kits or released voices still wait for collect() to free
  // them, once the render thread has let go of them.
  bool holding() const noexcept {
    return tables_.size() > 1 || !deferred_.empty() || !unposted_.empty() || releasing_ > 0;
  }
  // Control thread: commands and events posted from now on take effect at frame due of
  // render's timeline; those behind them wait with them, so order holds.
  void setDue(uint32_t due) noexcept { due_ = due, timed_ = true; }
  // Control thread: commands posted from now on take effect at the start of the next block.
  void clearDue() noexcept { timed_ = false; }

  // Control thread, once no thread renders any more (the stream was lost): what is queued
  // takes effect, everything falls silent at once, and until attach() every command takes
  // effect as it is posted, with nothing left sounding, so nothing piles up.
  void detach() noexcept;
  // Control thread, before a thread renders again: live events are taken again, and none that
  // came while detached is left to play.
  void attach() noexcept;
  bool detached() const noexcept { return detached_; }
  // Control thread, while detached: the rate of the stream to come.
  void setRate(uint32_t sampleRate) noexcept;

 private:
  static constexpr std::size_t kTailVoices = 256;
  static constexpr std::size_t kPendingLive = 256;

  struct Tail {
    Voice* voice = nullptr;
    uint64_t pos = 0;
    float gain = 0.0f;
    float step = 0.0f;
    uint32_t left = 0;
    int32_t bus = -1;
  };

  class VoiceActions;

  void renderBlock(float* out, uint32_t frames, uint32_t blockStart, std::span<const Event> events,
                   std::span<float* const> buses = {}) noexcept;
  void takeKit() noexcept;
  uint32_t applyDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept;
  void takeLive() noexcept;
  void dropLive() noexcept;
  uint32_t offsetOf(uint32_t frame, uint32_t blockStart) const noexcept;
  // Follows the live events due by offset done; the offset of the next one after it, or frames.
  uint32_t followLiveDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept;
  void follow(const Event& event) noexcept;
  bool named(const Voice* voice) const;
  void postRelease(Voice* voice);
  void retireKits();
  uint32_t offsetInBlock(const Command& c, uint32_t blockStart) const noexcept;
  void mixSpan(float* out, uint32_t offset, uint32_t frames) noexcept;
  float* busAt(int32_t bus, uint32_t offset) const noexcept;
  void apply(const Command& c) noexcept;
  void play(Voice& v, uint32_t serial, bool looping) noexcept;
  void start(Voice& v, float gain, int32_t bus) noexcept;
  void stop(Voice& v) noexcept;
  void rewind(Voice& v, uint64_t frame) noexcept;
  void setGain(Voice& v, float gain) noexcept;
  void startTail(Voice& v) noexcept;
  void unlink(Voice& v) noexcept;
  void mixVoice(Voice& v, float* out, float* bus, uint32_t frames) noexcept;
  void mixTail(Tail& t, float* out, float* bus, uint32_t frames) noexcept;
  void endTail(Tail& t) noexcept;
  void retireIfIdle(Voice& v) noexcept;
  void flushRetired() noexcept;
  void drainForShutdown() noexcept;
  void silenceAll() noexcept;
  void freeRetired() noexcept;

  uint32_t rate_;  // changes only while detached
  uint32_t fadeFrames_;
  std::array<float, 128> gain_{};  // the level law, per velocity
  SpscQueue<Command, kCommandCapacity> commands_;
  SpscQueue<Voice*, 1024> retired_;
  std::vector<Tail> tails_;        // sized once; the render thread never resizes it
  std::span<float* const> buses_;  // render thread: the pads' own outputs of this block
  Voice* active_ = nullptr;        // render thread: intrusive list of playing voices
  Voice* toRetire_ = nullptr;      // render thread: handed back when the retire queue had no room
  std::vector<Voice*> unposted_;   // control thread: released while the command queue was full
  std::atomic<uint32_t> activeCount_{0};
  std::atomic<uint64_t> blocks_{0};
  bool detached_ = false;  // control thread
  uint32_t rendered_ = 0;  // render thread: the timeline of render without a block start
  uint32_t due_ = 0;       // control thread
  bool timed_ = false;     // control thread

  SpscQueue<Event, kLiveCapacity> live_;
  std::atomic<bool> takesLive_{true};                   // false while detached
  std::array<std::atomic<uint64_t>, 3> hostFollows_{};  // notes, then pads, the host follows
  std::array<Event, kPendingLive> pending_{};           // render thread: taken, not yet due
  std::size_t pendingCount_ = 0;                        // render thread
  const KitDescription* kit_ = nullptr;                 // render thread: the kit events meet
  std::atomic<const KitDescription*> published_{nullptr};
  std::atomic<uint64_t> seen_{0};  // the generation the render thread last took up
  std::vector<std::unique_ptr<KitDescription>>
      tables_;                    // control thread: published, perhaps still read
  std::vector<Voice*> deferred_;  // control thread: released while a kit names them
  uint64_t generation_ = 0;       // control thread
  std::size_t releasing_ = 0;     // control thread: voices released, not yet freed
};

}  // namespace varnkit::engine
