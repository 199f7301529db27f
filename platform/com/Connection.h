#pragma once
// A host's sink connected to the events of an object, disconnected when the connection ends.

#include <cstdint>

#include "platform/com/ComPtr.h"
#include "platform/com/Events.h"

namespace varnkit::com {

class Connection {
 public:
  Connection() = default;
  ~Connection() { disconnect(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Connects sink to the event interface events of source, ending an earlier connection.
  // CONNECT_E_NOCONNECTION when source raises no such events, or Advise's code.
  HRESULT connect(IUnknown* source, const IID& events, IUnknown* sink) noexcept;
  // Once this returns, no event reaches the sink any more.
  void disconnect() noexcept;
  bool connected() const noexcept { return bool(point_); }

 private:
  ComPtr<IConnectionPoint> point_;
  uint32_t cookie_ = 0;
};

}  // namespace varnkit::com
