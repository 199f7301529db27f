#include "midi/module/MidiInControl.h"

#include <QApplication>
#include <QThread>
#include <array>

#include "midi/AboutBox.h"
#include "midi/module/Classes.h"
#include "midi/module/ModuleFile.h"
#include "midi/typelib/VERIRud.h"

namespace varnkit::midictl {

using namespace com;

namespace {

// The About box needs the user-interface thread of a widgets application.
HRESULT aboutBox() {
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return E_UNEXPECTED;
  if (QThread::currentThread() != QCoreApplication::instance()->thread()) return RPC_E_WRONG_THREAD;
  ShowAboutBox();
  return S_OK;
}

}  // namespace

HRESULT MidiInControl::create(const IID& iid, void** object) noexcept {
  return createObject<MidiInControl>(iid, object);
}

MidiInControl::MidiInControl()
    : ControlObject(VERIRud::DMidi_IN, VERIRud::kDMidi_INEvents, kInPropPage) {
  control_.SetEventSink(this);
}

HRESULT MidiInControl::run(DISPID id, const PreparedCall& call, Variant& value) {
  const auto arg = [&] { return call.args[0].i4(); };
  switch (id) {
    case VERIRud::in::Status:
      if (call.put)
        control_.Status(arg());
      else
        value = control_.Status();
      return S_OK;
    case VERIRud::in::HMidiThru:
      if (call.put)
        control_.HMidiThru(arg());
      else
        value = control_.HMidiThru();
      return S_OK;
    case VERIRud::in::InOpen:
      pinModule();
      value = control_.InOpen(arg());
      return S_OK;
    case VERIRud::in::InClose:
      value = control_.InClose();
      return S_OK;
    case VERIRud::in::InCount:
      pinModule();
      value = control_.InCount();
      return S_OK;
    case VERIRud::in::InName:
      pinModule();
      value = control_.InName(arg());
      return S_OK;
    case VERIRud::in::AboutBox:
      return aboutBox();
  }
  return DISP_E_MEMBERNOTFOUND;
}

void MidiInControl::Message(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept {
  const std::array<Variant, 4> args{Variant(int32_t(Msg)), Variant(Channel), Variant(Data1),
                                    Variant(Data2)};
  events().raise(VERIRud::in::Message, args);
}

void MidiInControl::MessageAt(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2,
                              int32_t Frame) noexcept {
  const std::array<Variant, 5> args{Variant(int32_t(Msg)), Variant(Channel), Variant(Data1),
                                    Variant(Data2), Variant(Frame)};
  events().raise(VERIRud::in::MessageAt, args);
}

}  // namespace varnkit::midictl
