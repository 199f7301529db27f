#pragma once
// What must hold of the kit state after any load, however damaged the file was.

#include <string>

#include "kit/KitState.h"
#include "tests/support/KitFixture.h"

namespace varnkit::testing {

// The first broken rule, or "" when the kit is consistent.
std::string kitInconsistency(KitState& state, const RecordingPadView& pads);

// A kit file text made from base by a few random edits that favour the format's own
// characters; seed decides everything.
std::string mutatedKitText(const std::string& base, unsigned seed);

}  // namespace varnkit::testing
