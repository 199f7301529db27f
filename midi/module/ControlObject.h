#pragma once
// What the module's two controls share as component objects: reference counting, dispatch
// checked against the control's interface description, a connection point for its events,
// and the one property page it names.

#include "platform/com/ClassFactory.h"
#include "platform/com/EventSource.h"
#include "platform/com/PropertyPages.h"
#include "platform/com/TypeInfo.h"

namespace varnkit::midictl {

class ControlObject : public com::IDispatch,
                      public com::IConnectionPointContainer,
                      public com::ISpecifyPropertyPages {
 public:
  ControlObject(const ControlObject&) = delete;
  ControlObject& operator=(const ControlObject&) = delete;

  com::HRESULT QueryInterface(const com::IID& iid, void** object) noexcept final;
  uint32_t AddRef() noexcept final { return refs_.add(); }
  uint32_t Release() noexcept final;
  com::HRESULT GetIDsOfNames(std::string_view name, com::DISPID& id) noexcept final;
  // Apartment threading: the thread that made the control, but for Status and the thru
  // handle, which any thread may use.
  com::HRESULT Invoke(com::DISPID id, uint16_t flags, std::span<const com::Variant> args,
                      com::Variant* result) noexcept final;
  com::HRESULT FindConnectionPoint(const com::IID& events,
                                   com::IConnectionPoint** point) noexcept final;
  com::HRESULT GetPages(std::vector<com::CLSID>& pages) noexcept final;

 protected:
  ControlObject(const com::InterfaceDesc& dispatch, const com::IID& events,
                const com::CLSID& page) noexcept;
  // Derived controls close their devices in their own destructors, before the sinks go.
  virtual ~ControlObject() = default;

  // Runs member id with the call's checked arguments, its value into value.
  virtual com::HRESULT run(com::DISPID id, const com::PreparedCall& call, com::Variant& value) = 0;
  com::EventSource& events() noexcept { return events_; }

 private:
  com::ModuleObject counted_;
  com::RefCount refs_;
  const com::InterfaceDesc& dispatch_;
  const com::CLSID page_;
  com::EventSource events_;
};

}  // namespace varnkit::midictl
