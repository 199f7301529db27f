#pragma once
// Closing input ports from any thread, their own included.

#include <memory>

#include "platform/midi/InputPort.h"

namespace varnkit::midi {

// Closes port. Elsewhere than on the port's own thread it returns once the port is closed and
// its receiver will not be called again. On the port's own thread (a receiver closing its
// input) it does neither wait nor lock nor allocate: the receiver is not called again, and the
// port is closed on the closer's thread once the running call has returned.
void closeInput(std::unique_ptr<InputPort> port) noexcept;

// Makes sure the closer's thread runs, so that closeInput never has to start it on a MIDI
// thread. Not on a port's own thread.
void prepareInputCloser();

}  // namespace varnkit::midi
