#include "platform/com/EventSource.h"

namespace varnkit::com {

EventSource::~EventSource() {
  for (auto& slot : sinks_)
    if (IDispatch* sink = slot.exchange(nullptr)) sink->Release();
}

void EventSource::raise(DISPID id, std::span<const Variant> args) noexcept {
  // The thread is published before the count, so whoever sees the count sees the thread.
  raiser_.store(std::this_thread::get_id());
  raising_.fetch_add(1);
  for (auto& slot : sinks_)
    if (IDispatch* sink = slot.load()) sink->Invoke(id, DISPATCH_METHOD, args, nullptr);
  raising_.fetch_sub(1);
}

HRESULT EventSource::QueryInterface(const IID& iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IUnknown::iid || iid == IConnectionPoint::iid)
    return handOut(static_cast<IConnectionPoint*>(this), object);
  return E_NOINTERFACE;
}

HRESULT EventSource::GetConnectionInterface(IID& events) noexcept {
  events = events_;
  return S_OK;
}

HRESULT EventSource::Advise(IUnknown* sink, uint32_t& cookie) noexcept {
  cookie = 0;
  if (sink == nullptr) return E_POINTER;
  // A sink answers for the event interface itself, a dispatch interface, or for IDispatch.
  IDispatch* dispatch = nullptr;
  if (failed(sink->QueryInterface(events_, reinterpret_cast<void**>(&dispatch))) &&
      failed(sink->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&dispatch))))
    return CONNECT_E_CANNOTCONNECT;
  if (dispatch == nullptr) return CONNECT_E_CANNOTCONNECT;
  for (std::size_t i = 0; i < sinks_.size(); ++i) {
    IDispatch* empty = nullptr;
    if (sinks_[i].compare_exchange_strong(empty, dispatch)) {
      cookie = uint32_t(i + 1);
      return S_OK;
    }
  }
  dispatch->Release();
  return CONNECT_E_ADVISELIMIT;
}

HRESULT EventSource::Unadvise(uint32_t cookie) noexcept {
  if (cookie == 0 || cookie > sinks_.size()) return CONNECT_E_NOCONNECTION;
  IDispatch* sink = sinks_[cookie - 1].exchange(nullptr);
  if (sink == nullptr) return CONNECT_E_NOCONNECTION;
  // A raise that may still hold the sink ends before it is released. The raise this thread
  // is inside of, if any, is calling this very sink and uses it no more once that returns;
  // the sink must then hold a reference of its own while it disconnects.
  const bool inside = raising_.load() > 0 && raiser_.load() == std::this_thread::get_id();
  while (raising_.load() > (inside ? 1 : 0)) std::this_thread::yield();
  sink->Release();
  return S_OK;
}

}  // namespace varnkit::com
