#pragma once
// The connection point of an object that raises events from a real-time thread: raising
// neither locks nor allocates nor waits, and disconnecting waits for a raise under way
// instead.

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <thread>

#include "platform/com/Events.h"

namespace varnkit::com {

class EventSource final : public IConnectionPoint {
 public:
  static constexpr std::size_t kMaxSinks = 8;

  // A point of owner (which answers for its references) raising the event interface events.
  EventSource(IUnknown& owner, const IID& events) noexcept : owner_(owner), events_(events) {}
  // Releases the sinks still connected. Not while raising.
  ~EventSource();
  EventSource(const EventSource&) = delete;
  EventSource& operator=(const EventSource&) = delete;

  // Calls member id of every connected sink with args. Any one thread at a time; neither
  // locks, allocates nor waits. A sink may disconnect itself from inside the call, but must
  // not let go of the last reference to the object that raises the event.
  void raise(DISPID id, std::span<const Variant> args) noexcept;

  HRESULT QueryInterface(const IID& iid, void** object) noexcept override;
  uint32_t AddRef() noexcept override { return owner_.AddRef(); }
  uint32_t Release() noexcept override { return owner_.Release(); }
  HRESULT GetConnectionInterface(IID& events) noexcept override;
  HRESULT Advise(IUnknown* sink, uint32_t& cookie) noexcept override;
  HRESULT Unadvise(uint32_t cookie) noexcept override;

 private:
  IUnknown& owner_;
  const IID events_;
  std::array<std::atomic<IDispatch*>, kMaxSinks> sinks_{};
  // Raises under way, and the thread of the latest one: a sink that disconnects from inside
  // a raise must not wait for that raise to end.
  std::atomic<int32_t> raising_{0};
  std::atomic<std::thread::id> raiser_{};
};

}  // namespace varnkit::com
