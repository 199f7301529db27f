#pragma once
// Hitting and stopping pads: the only way the windows start and stop pad sounds. Both follow
// the engine's hit rule: on the render thread at the start of the next block (or at the frame
// the device's commands are timed for), or, for a pad whose sound reaches the plain player,
// here and now on the pad's layers.

#include <cstdint>

namespace varnkit {

class KitState;

// Stops the pad's mute group and the pad itself, then plays the first layer (in collection
// order) whose velocity range holds Vel. Errors of the sound pass to the caller.
// User-interface thread.
void PlayPad(KitState& state, int16_t pad, int16_t Vel);

// Stops every layer of the pad. User-interface thread.
void StopPad(KitState& state, int16_t pad);

}  // namespace varnkit
