#include "midi/module/ControlObject.h"

#include <new>

namespace varnkit::midictl {

using namespace com;

ControlObject::ControlObject(const InterfaceDesc& dispatch, const IID& events,
                             const CLSID& page) noexcept
    : dispatch_(dispatch), page_(page), events_(static_cast<IDispatch&>(*this), events) {}

HRESULT ControlObject::QueryInterface(const IID& iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IUnknown::iid || iid == IDispatch::iid || iid == dispatch_.iid)
    return handOut(static_cast<IDispatch*>(this), object);
  if (iid == IConnectionPointContainer::iid)
    return handOut(static_cast<IConnectionPointContainer*>(this), object);
  if (iid == ISpecifyPropertyPages::iid)
    return handOut(static_cast<ISpecifyPropertyPages*>(this), object);
  return E_NOINTERFACE;
}

uint32_t ControlObject::Release() noexcept {
  const uint32_t left = refs_.remove();
  if (left == 0) delete this;
  return left;
}

HRESULT ControlObject::GetIDsOfNames(std::string_view name, DISPID& id) noexcept {
  const MemberDesc* member = findMember(dispatch_, name);
  if (member == nullptr) return DISP_E_UNKNOWNNAME;
  id = member->id;
  return S_OK;
}

HRESULT ControlObject::Invoke(DISPID id, uint16_t flags, std::span<const Variant> args,
                              Variant* result) noexcept {
  const MemberDesc* member = findMember(dispatch_, id);
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  PreparedCall call;
  if (const HRESULT hr = prepareCall(*member, flags, args, call); failed(hr)) return hr;
  try {
    Variant value;
    const HRESULT hr = run(id, call, value);
    if (succeeded(hr) && result != nullptr) *result = std::move(value);
    return hr;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
}

HRESULT ControlObject::FindConnectionPoint(const IID& events, IConnectionPoint** point) noexcept {
  if (point == nullptr) return E_POINTER;
  *point = nullptr;
  IID raised;
  events_.GetConnectionInterface(raised);
  if (events != raised) return CONNECT_E_NOCONNECTION;
  return handOut(static_cast<IConnectionPoint*>(&events_), reinterpret_cast<void**>(point));
}

HRESULT ControlObject::GetPages(std::vector<CLSID>& pages) noexcept {
  try {
    pages.assign(1, page_);
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace varnkit::midictl
