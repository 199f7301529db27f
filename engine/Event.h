#pragma once
// What a host asks of an engine: a note, a pad hit or a pad stop, at a frame.

#include <cstdint>

namespace varnkit::engine {

struct Event {
  enum class Kind : uint8_t {
    NoteOn,  // every pad whose root key is the note is hit; velocity 0 is a note off
    PadHit,  // one pad, by number, as the window's PlayPad hits it
    PadStop  // one pad falls silent
  };

  Kind kind = Kind::NoteOn;
  uint8_t key = 0;       // the note for NoteOn, the pad for PadHit and PadStop
  int16_t velocity = 0;  // NoteOn and PadHit
  uint32_t frame = 0;    // where it takes effect: each call that takes events says on what timeline

  static constexpr Event noteOn(uint8_t note, int16_t velocity, uint32_t frame = 0) noexcept {
    return {Kind::NoteOn, note, velocity, frame};
  }
  static constexpr Event padHit(uint8_t pad, int16_t velocity, uint32_t frame = 0) noexcept {
    return {Kind::PadHit, pad, velocity, frame};
  }
  static constexpr Event padStop(uint8_t pad, uint32_t frame = 0) noexcept {
    return {Kind::PadStop, pad, 0, frame};
  }
};

}  // namespace varnkit::engine
