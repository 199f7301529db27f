#pragma once
// The input control as a component object (class MI): _DMidi_IN by dispatch, MessageAt and
// Message raised through _DMidi_INEvents on the MIDI thread.

#include "midi/MidiInCtrl.h"
#include "midi/MidiInEvents.h"
#include "midi/module/ControlObject.h"

namespace varnkit::midictl {

class MidiInControl final : public ControlObject, private MidiInEvents {
 public:
  // Makes a control and hands out its interface iid.
  static com::HRESULT create(const com::IID& iid, void** object) noexcept;
  MidiInControl();

 private:
  ~MidiInControl() override = default;
  com::HRESULT run(com::DISPID id, const com::PreparedCall& call, com::Variant& value) override;
  // MIDI thread: passes the message on to the connected sinks without locking or allocating.
  void Message(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept override;
  // Likewise; a sink that does not know it answers DISP_E_MEMBERNOTFOUND, which changes nothing.
  void MessageAt(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2,
                 int32_t Frame) noexcept override;

  CMidi_INCtrl control_;  // the last member: closed before anything else goes
};

}  // namespace varnkit::midictl
