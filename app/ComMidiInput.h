#pragma once
// The main window's MIDI input control from the Midi module: made by class id through the
// component registry, called by dispatch id only, its Message events passed to a sink.

#include <string>

#include "ui/main/MidiInput.h"

namespace varnkit::app {

// Makes the Midi module's input control, class {EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}, as
// the registry of this user names it. On failure the factory returns null and says why: "the
// Midi module is not registered", "Midi.ocx cannot be loaded: ...", and so on. Destroying the
// control closes its input and releases it before the module may unload. User-interface
// thread; the sink is called on the MIDI thread and must outlive the control. With ownModule,
// the factory first registers that module when the class is not registered or its module
// file is gone.
ui::MidiInputFactory comMidiInputFactory(std::string ownModule = "");

}  // namespace varnkit::app
