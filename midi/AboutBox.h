#pragma once
// The Midi module's About box.

namespace varnkit::midictl {

// Shows the About box modally, without an owner window, and returns once it is closed.
// User-interface thread of a running QApplication.
void ShowAboutBox();

}  // namespace varnkit::midictl
