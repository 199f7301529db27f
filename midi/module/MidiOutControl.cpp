#include "midi/module/MidiOutControl.h"

#include "midi/module/Classes.h"
#include "midi/module/ModuleFile.h"
#include "midi/typelib/VERIRud.h"

namespace varnkit::midictl {

using namespace com;

HRESULT MidiOutControl::create(const IID& iid, void** object) noexcept {
  return createObject<MidiOutControl>(iid, object);
}

MidiOutControl::MidiOutControl()
    : ControlObject(VERIRud::DMidi_OUT, VERIRud::kDMidi_OUTEvents, kOutPropPage) {}

HRESULT MidiOutControl::run(DISPID id, const PreparedCall& call, Variant& value) {
  const auto arg = [&](std::size_t i) -> const Variant& { return call.args[i]; };
  switch (id) {
    case VERIRud::out::Status:
      if (call.put)
        control_.Status(arg(0).i4());
      else
        value = control_.Status();
      return S_OK;
    case VERIRud::out::HMidi:
      if (call.put)
        control_.HMidi(arg(0).i4());
      else
        value = control_.HMidi();
      return S_OK;
    case VERIRud::out::OutOpen:
      pinModule();
      value = control_.OutOpen(arg(0).i4());
      return S_OK;
    case VERIRud::out::OutCount:
      pinModule();
      value = control_.OutCount();
      return S_OK;
    case VERIRud::out::SendMidi:
      value = control_.SendMidi(arg(0).i4(), arg(1).i2(), arg(2).i2(), arg(3).i2());
      return S_OK;
    case VERIRud::out::OutName:
      pinModule();
      value = control_.OutName(arg(0).i4());
      return S_OK;
    case VERIRud::out::OutClose:
      value = control_.OutClose();
      return S_OK;
    case VERIRud::out::SendSysEx:
      value = control_.SendSysEx(arg(0).string(), arg(1).i4());
      return S_OK;
  }
  return DISP_E_MEMBERNOTFOUND;
}

}  // namespace varnkit::midictl
