#pragma once
// The real-time mixer: every playing buffer summed in float into the output stream.
//
// The user-interface thread owns the buffers and talks to the mixer only through a bounded
// command queue; the audio thread owns all playback state. A destroyed buffer's samples go
// back to the user-interface thread through a second queue and are freed there, so the audio
// thread never frees memory.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/audio/LiveTable.h"
#include "platform/audio/SpscQueue.h"
#include "platform/audio/WaveFormat.h"

namespace varnkit::audio {

class SoundBuffer;

// One buffer's samples and its playback state. Made on the user-interface thread, then
// referred to by the mixer until the mixer hands it back through the retire queue.
struct BufferCore {
  explicit BufferCore(SampleData d) : data(std::move(d)) {}

  const SampleData data;

  // Written by the audio thread when a play ends by reaching the end of the data: the serial
  // of that play, so the user-interface thread can tell a finished sound from a playing one.
  std::atomic<uint32_t> endedSerial{0};

  // Audio thread only from here on.
  uint64_t pos = 0;
  float gain = 1.0f;
  float target = 1.0f;
  float rampStep = 0.0f;
  uint32_t rampLeft = 0;
  uint32_t serial = 0;
  uint32_t tails = 0;
  bool playing = false;
  bool looping = false;
  bool fresh = true;  // nothing rendered since (re)start: a cut is inaudible
  bool released = false;
  BufferCore* prev = nullptr;
  BufferCore* next = nullptr;
  BufferCore* retireNext = nullptr;
};

struct Command {
  enum class Op : uint8_t { Rewind, SetGain, Play, Stop, Release };
  Op op = Op::Stop;
  BufferCore* core = nullptr;
  float gain = 0.0f;     // SetGain
  uint64_t frame = 0;    // Rewind: the frame to continue from
  uint32_t serial = 0;   // Play
  bool looping = false;  // Play
  bool timed = false;    // false: at the start of the next block rendered
  uint32_t due = 0;      // timed: the device frame it takes effect at
};

class Mixer {
 public:
  static constexpr double kFadeSeconds = 0.002;
  static constexpr std::size_t kCommandCapacity = 4096;
  static constexpr std::size_t kRetireCapacity = 1024;
  static constexpr std::size_t kTailVoices = 256;
  static constexpr std::size_t kHitCapacity = 1024;
  static constexpr std::size_t kPendingHits = 256;

  explicit Mixer(uint32_t sampleRate);
  // Frees every buffer still known to the mixer. No audio thread may be rendering by then.
  ~Mixer();
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  uint32_t sampleRate() const noexcept { return rate_; }
  uint32_t fadeFrames() const noexcept { return fadeFrames_; }

  // User-interface thread: queues a command; false when the queue is full.
  bool post(const Command& c) noexcept;
  // User-interface thread: commands posted from now on take effect at device frame due, on
  // the timeline of render's blockStart; those behind them wait with them, so order holds.
  void setDue(uint32_t due) noexcept { due_ = due, timed_ = true; }
  // User-interface thread: commands posted from now on take effect at once.
  void clearDue() noexcept { timed_ = false; }
  // User-interface thread: the buffer's owner lets go of it; freed once the mixer has.
  void release(BufferCore* core);
  // User-interface thread: frees the buffers the mixer has handed back.
  void collect();

  // Audio thread: applies queued commands, then writes frames of interleaved stereo into
  // out, clipped to -1..1. Never allocates, locks, waits or frees.
  void render(float* out, uint32_t frames) noexcept;
  // Audio thread: the same for a block that starts at device frame blockStart. A command
  // due inside the block takes effect at its frame; one already late, at the block's start.
  void render(float* out, uint32_t frames, uint32_t blockStart) noexcept;

  // User-interface thread: notes are decided on table from the next block on. A table the
  // audio thread may still read, and every buffer it names, stay alive until it has moved on.
  void publish(std::unique_ptr<LiveTable> table);
  // The one thread that takes MIDI in: a note to decide and play at its frame, which on JACK
  // is in the cycle about to be rendered, as the one client reads its MIDI before it renders.
  // False, and nothing queued, when the queue is full, while detached (a note played
  // while the stream is gone never sounds later), or when the note reaches a pad that plays
  // through the plain player, which only the window can start. Never waits or allocates.
  bool postHit(const LiveHit& hit) noexcept;

  // Any thread: number of buffers playing, and of fading tails, as of the last render.
  uint32_t activeVoices() const noexcept { return activeCount_.load(std::memory_order_relaxed); }
  // Any thread: blocks rendered so far; a stream that stopped calling stops the count.
  uint64_t blocksRendered() const noexcept { return blocks_.load(std::memory_order_relaxed); }

  // User-interface thread, once no audio thread renders any more (the stream was lost): what
  // is queued takes effect, everything falls silent at once, and until attach() every command
  // takes effect as it is posted, with nothing left sounding, so nothing piles up.
  void detach() noexcept;
  // User-interface thread, before an audio thread renders again: commands queue as ever, and
  // hits are taken again; none that came while detached is left to play.
  void attach() noexcept;
  bool detached() const noexcept { return detached_; }
  // User-interface thread, while detached: the rate of the stream to come.
  void setRate(uint32_t sampleRate) noexcept;

  // User-interface thread: the buffers alive on this mixer, so that they can be made again
  // for a stream of another rate.
  void enlist(SoundBuffer* buffer) { buffers_.push_back(buffer); }
  void delist(SoundBuffer* buffer) { std::erase(buffers_, buffer); }
  const std::vector<SoundBuffer*>& buffers() const { return buffers_; }

 private:
  struct Tail {
    BufferCore* core = nullptr;
    uint64_t pos = 0;
    float gain = 0.0f;
    float step = 0.0f;
    uint32_t left = 0;
  };

  class HitActions;

  uint32_t applyDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept;
  void takeHits() noexcept;
  void dropHits() noexcept;
  uint32_t hitOffset(const LiveHit& hit, uint32_t blockStart) const noexcept;
  // Plays the pending hits due at or before offset done; the offset of the next one after it,
  // or frames.
  uint32_t playHitsDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept;
  bool named(const BufferCore* core) const;
  // User-interface thread: hands core to the audio thread to free once idle.
  void postRelease(BufferCore* core);
  void retireTables();
  uint32_t offsetInBlock(const Command& c, uint32_t blockStart) const noexcept;
  void mixSpan(float* out, uint32_t frames) noexcept;
  void apply(const Command& c) noexcept;
  void play(BufferCore& c, uint32_t serial, bool looping) noexcept;
  void stop(BufferCore& c) noexcept;
  void rewind(BufferCore& c, uint64_t frame) noexcept;
  void setGain(BufferCore& c, float gain) noexcept;
  void startTail(BufferCore& c) noexcept;
  void unlink(BufferCore& c) noexcept;
  void mixCore(BufferCore& c, float* out, uint32_t frames) noexcept;
  void mixTail(Tail& t, float* out, uint32_t frames) noexcept;
  void endTail(Tail& t) noexcept;
  void retireIfIdle(BufferCore& c) noexcept;
  void flushRetired() noexcept;
  void drainForShutdown() noexcept;
  void silenceAll() noexcept;
  void freeRetired() noexcept;

  uint32_t rate_;  // changes only while detached
  uint32_t fadeFrames_;
  SpscQueue<Command, kCommandCapacity> commands_;
  SpscQueue<BufferCore*, kRetireCapacity> retired_;
  std::vector<Tail> tails_;         // sized once; the audio thread never resizes it
  BufferCore* active_ = nullptr;    // audio thread: intrusive list of playing buffers
  BufferCore* toRetire_ = nullptr;  // audio thread: handed back when the retire queue had no room
  std::vector<BufferCore*> unposted_;  // UI thread: released while the command queue was full
  std::atomic<uint32_t> activeCount_{0};
  std::atomic<uint64_t> blocks_{0};
  bool detached_ = false;              // UI thread
  std::vector<SoundBuffer*> buffers_;  // UI thread
  uint32_t rendered_ = 0;              // audio thread: the timeline of render without a block start
  uint32_t due_ = 0;                   // UI thread
  bool timed_ = false;                 // UI thread

  SpscQueue<LiveHit, kHitCapacity> hits_;
  std::atomic<bool> takesHits_{true};                   // false while detached
  std::array<std::atomic<uint64_t>, 2> windowNotes_{};  // notes the window plays, one bit each
  std::array<LiveHit, kPendingHits> pending_{};         // audio thread: taken, not yet due
  std::size_t pendingCount_ = 0;                        // audio thread
  const LiveTable* table_ = nullptr;                    // audio thread: this block's table
  std::atomic<const LiveTable*> published_{nullptr};
  std::atomic<uint64_t> seen_{0};  // the generation the audio thread last took up
  std::vector<std::unique_ptr<LiveTable>> tables_;  // UI thread: published, perhaps still read
  std::vector<BufferCore*> deferred_;               // UI thread: released while a table names them
  uint64_t generation_ = 0;                         // UI thread
};

}  // namespace varnkit::audio
