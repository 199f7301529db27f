#pragma once
// The engine a device plays through, with the sound buffers made on it. The device and every
// buffer share it, so a buffer that outlives its device stays safe to use.

#include <cstdint>
#include <vector>

#include "engine/Engine.h"

namespace varnkit::audio {

class SoundBuffer;

// All members: user-interface thread, but the engine's own render calls.
struct Stage {
  explicit Stage(uint32_t sampleRate) : engine(sampleRate) {}
  Stage(const Stage&) = delete;
  Stage& operator=(const Stage&) = delete;

  engine::Engine engine;
  // The buffers alive on it, so that they can be made again for a stream of another rate.
  std::vector<SoundBuffer*> buffers;
};

}  // namespace varnkit::audio
