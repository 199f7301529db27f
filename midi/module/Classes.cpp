#include "midi/module/Classes.h"

#include "midi/module/MidiInControl.h"
#include "midi/module/MidiOutControl.h"
#include "midi/module/PropPageObject.h"
#include "midi/module/Strings.h"
#include "midi/typelib/VERIRud.h"

namespace varnkit::midictl {
namespace {

// Class objects live as long as the module.
com::ClassFactory inControlFactory(&MidiInControl::create);
com::ClassFactory inPageFactory(&CMidi_INPropPage::create);
com::ClassFactory outControlFactory(&MidiOutControl::create);
com::ClassFactory outPageFactory(&CMidi_OUTPropPage::create);

const ServedClass kClasses[] = {
    {VERIRud::kMI, "MIDI.MidiINCtrl.1", kInControlName, true, 1, kInMiscStatus, kInPropPage,
     &inControlFactory},
    {kInPropPage, "MIDI.MidiINPropPage.1", kInPageName, false, 0, {}, {}, &inPageFactory},
    {VERIRud::kMO, "MIDI.MidiOUTCtrl.1", kOutControlName, true, 2, kOutMiscStatus, kOutPropPage,
     &outControlFactory},
    {kOutPropPage, "MIDI.MidiOUTPropPage.1", kOutPageName, false, 0, {}, {}, &outPageFactory},
};

}  // namespace

std::span<const ServedClass> servedClasses() {
  return kClasses;
}

}  // namespace varnkit::midictl
