#pragma once
// The output control as a component object (class MO): _DMidi_OUT by dispatch; its event
// interface _DMidi_OUTEvents declares no events.

#include "midi/MidiOutCtrl.h"
#include "midi/module/ControlObject.h"

namespace varnkit::midictl {

class MidiOutControl final : public ControlObject {
 public:
  // Makes a control and hands out its interface iid.
  static com::HRESULT create(const com::IID& iid, void** object) noexcept;
  MidiOutControl();

 private:
  ~MidiOutControl() override = default;
  com::HRESULT run(com::DISPID id, const com::PreparedCall& call, com::Variant& value) override;

  CMidi_OUTCtrl control_;
};

}  // namespace varnkit::midictl
