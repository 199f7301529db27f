#include "platform/com/Connection.h"

namespace varnkit::com {

HRESULT Connection::connect(IUnknown* source, const IID& events, IUnknown* sink) noexcept {
  disconnect();
  if (source == nullptr || sink == nullptr) return E_POINTER;
  ComPtr<IConnectionPointContainer> container;
  if (failed(source->QueryInterface(IConnectionPointContainer::iid, container.put())))
    return CONNECT_E_NOCONNECTION;
  ComPtr<IConnectionPoint> point;
  if (const HRESULT hr = container->FindConnectionPoint(events, point.out()); failed(hr)) return hr;
  uint32_t cookie = 0;
  if (const HRESULT hr = point->Advise(sink, cookie); failed(hr)) return hr;
  point_ = std::move(point);
  cookie_ = cookie;
  return S_OK;
}

void Connection::disconnect() noexcept {
  if (!point_) return;
  point_->Unadvise(cookie_);
  point_.reset();
  cookie_ = 0;
}

}  // namespace varnkit::com
