#pragma once
// The interface every component object offers: asking for its other interfaces, and counting
// the references held to it. An object deletes itself when the last reference goes.

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/com/Guid.h"
#include "platform/com/Result.h"

namespace varnkit::com {

class IUnknown {
 public:
  static constexpr IID iid = guid("{5C2A0F53-8225-4A03-A1A5-39EFCA8EDACB}");

  // Puts the object's interface iid, with a reference added, into *object; null and
  // E_NOINTERFACE when the object has none. Any thread.
  virtual HRESULT QueryInterface(const IID& iid, void** object) noexcept = 0;
  // Adds a reference; the new count, for diagnostics only. Any thread.
  virtual uint32_t AddRef() noexcept = 0;
  // Drops a reference; the object is gone once this returns 0. Any thread.
  virtual uint32_t Release() noexcept = 0;

 protected:
  ~IUnknown() = default;
};

// The reference count of one object: 1 for its creator at first.
class RefCount {
 public:
  uint32_t add() noexcept { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // The count left; the object goes when it is 0.
  uint32_t remove() noexcept { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

 private:
  std::atomic<uint32_t> count_{1};
};

// Hands out interface I of an object, counting the reference, for QueryInterface.
template <class I>
HRESULT handOut(I* in, void** object) noexcept {
  in->AddRef();
  *object = in;
  return S_OK;
}

}  // namespace varnkit::com
