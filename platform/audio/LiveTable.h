#pragma once
// Notes decided where the sound is made. The user-interface thread publishes, whole, what the
// audio thread needs to turn a note into sound: each pad's root key, group and layers. The
// audio thread then plays every note at its own frame plus one fixed delay, without waiting
// for the user-interface thread.

#include <array>
#include <cstdint>
#include <vector>

namespace varnkit::audio {

struct BufferCore;

struct LiveLayer {
  BufferCore* core = nullptr;
  int32_t velStart = 0;
  int32_t velEnd = 127;
};

struct LivePad {
  int32_t rootKey = -1;           // outside 0..127: no note plays the pad
  int32_t group = 0;              // 0: none; pads of group 1 or 2 silence each other
  std::vector<LiveLayer> layers;  // in the pad's own order: the first that fits plays
  bool plain = false;  // some layer plays through the plain player, which the window starts
};

struct LiveTable {
  std::vector<LivePad> pads;      // in pad order
  std::array<float, 128> gain{};  // the level each velocity plays at
  bool learning = false;          // a note is being learned: notes play nothing
  uint64_t generation = 0;        // set by the mixer when published

  // Whether the two would sound different for some note (generation aside).
  bool samePlayAs(const LiveTable& other) const;
};

struct LiveHit {
  uint8_t note = 0;
  uint8_t velocity = 0;
  uint32_t frame = 0;  // the device frame the note came in at
};

// What deciding a note does, in order.
class LiveActions {
 public:
  virtual void stopSound(BufferCore& core) noexcept = 0;
  virtual void startSound(BufferCore& core, float gain) noexcept = 0;

 protected:
  ~LiveActions() = default;
};

// For every pad whose root key is note, lowest pad first: the other pads of its group stop,
// the pad stops, and its first layer whose velocity range holds velocity starts. A note that
// comes while one is being learned does nothing. Audio thread; never allocates.
void ResolveHit(const LiveTable& table, uint8_t note, uint8_t velocity,
                LiveActions& actions) noexcept;

// Whether note reaches a pad that plays through the plain player, or one whose group holds
// such a pad (its hit stops that pad): the window must then play the whole note.
bool WindowPlays(const LiveTable& table, uint8_t note) noexcept;

}  // namespace varnkit::audio
