#pragma once
// Events: an object that raises events offers a connection point per event interface; a host
// connects its sink (an IDispatch whose members are the events) and receives the events as
// Invoke calls on whatever thread the object raises them.

#include <cstdint>

#include "platform/com/Dispatch.h"
#include "platform/com/Unknown.h"

namespace varnkit::com {

class IConnectionPoint;

class IConnectionPointContainer : public IUnknown {
 public:
  static constexpr IID iid = guid("{1DBDF5C0-8BB3-4B06-AB4B-41821187D064}");

  // The connection point of event interface events; CONNECT_E_NOCONNECTION when the object
  // raises no such events.
  virtual HRESULT FindConnectionPoint(const IID& events, IConnectionPoint** point) noexcept = 0;

 protected:
  ~IConnectionPointContainer() = default;
};

class IConnectionPoint : public IUnknown {
 public:
  static constexpr IID iid = guid("{1E1C5F24-0AEA-4A55-B6AB-7945A82CD57C}");

  // The event interface this point raises.
  virtual HRESULT GetConnectionInterface(IID& events) noexcept = 0;
  // Connects sink, which must offer IDispatch; cookie identifies the connection.
  // CONNECT_E_CANNOTCONNECT when it does not, CONNECT_E_ADVISELIMIT when no more fit.
  virtual HRESULT Advise(IUnknown* sink, uint32_t& cookie) noexcept = 0;
  // Disconnects; once this returns, the sink is not called again and has been released.
  // CONNECT_E_NOCONNECTION for an unknown cookie.
  virtual HRESULT Unadvise(uint32_t cookie) noexcept = 0;

 protected:
  ~IConnectionPoint() = default;
};

}  // namespace varnkit::com
