#pragma once
// One sample and its playback state. Whoever makes a voice hands it to an engine and lets go
// of it with Engine::release; from then on the engine frees it, on the thread that made it,
// once its render thread has let go of it.

#include <atomic>
#include <cstdint>

#include "engine/Sample.h"

namespace varnkit::engine {

struct Voice {
  explicit Voice(Sample s) : data(std::move(s)) {}
  Voice(const Voice&) = delete;
  Voice& operator=(const Voice&) = delete;

  const Sample data;

  // Written by the render thread when a play ends by reaching the end of the data: the serial
  // of that play, so the thread that started it can tell a finished sound from a playing one.
  std::atomic<uint32_t> endedSerial{0};

  // Render thread only from here on.
  uint64_t pos = 0;
  float gain = 1.0f;
  float target = 1.0f;
  float rampStep = 0.0f;
  uint32_t rampLeft = 0;
  uint32_t serial = 0;
  uint32_t tails = 0;
  int32_t bus = -1;  // the pad it last started for, whose own output it also goes to
  bool playing = false;
  bool looping = false;
  bool fresh = true;  // nothing rendered since (re)start: a cut is inaudible
  bool released = false;
  Voice* prev = nullptr;
  Voice* next = nullptr;
  Voice* retireNext = nullptr;
};

}  // namespace varnkit::engine
