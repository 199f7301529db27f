#pragma once
// The program from start to end, apart from main() so that tests can run it.

#include <string>

#include "ui/main/Form1.h"
#include "ui/main/MidiInput.h"

namespace varnkit {

// Opens the main window for the program folder appFolder and runs the event loop until the
// window closes. Returns the exit status: non-zero when start-up failed (no sound device),
// after saying why in a message box; 0 when a signal ended it, whenever it came. User-interface
// thread, with a QApplication made.
int RunVarnKit(const std::string& appFolder, ui::MidiInputFactory makeMidi,
               const ui::StartChoices& start = {});

}  // namespace varnkit
