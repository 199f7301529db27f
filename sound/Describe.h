#pragma once
// The kit model as the engine plays it.

#include "engine/Kit.h"

namespace varnkit {

class Drumkit;
class KitState;

// Each pad's root key, group and layers (in collection order, each with its voice; a layer
// that plays through the plain player has none); learning: a note is being learned.
// User-interface thread.
engine::KitDescription DescribeKit(Drumkit& kit, bool learning);

// Hands the kit of state to its sound device's engine, which keeps what it plays already when
// nothing changed, and frees what the engine has moved on from. User-interface thread, after
// every change of the kit; nothing without a device.
void PublishKit(KitState& state, bool learning);

}  // namespace varnkit
