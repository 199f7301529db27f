#pragma once
// Hitting and stopping pads: the only way the windows start and stop pad sounds.

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
