#pragma once
// The kit as the audio thread decides notes on it: published to the sound device's mixer
// whenever it would play differently.

#include <memory>
#include <optional>

#include "platform/audio/LiveTable.h"

namespace varnkit {

class KitState;

namespace audio {
class Device;
}

// The kit of state as a table of live notes; learning: a note is being learned. Layers that
// play through the plain player are left out and their pads marked plain. User-interface
// thread.
audio::LiveTable MakeLiveTable(KitState& state, bool learning);

class LiveKit {
 public:
  // Publishes the kit of state to device's mixer unless it plays as the table published last,
  // and lets the mixer free what its audio thread has moved on from. User-interface thread,
  // after every change of the kit and before notes that must meet the change.
  void update(KitState& state, bool learning, audio::Device& device);

 private:
  const audio::Device* device_ = nullptr;
  std::optional<audio::LiveTable> last_;
};

}  // namespace varnkit
