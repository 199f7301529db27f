#pragma once
// A counted reference to a component interface: copying adds a reference, destruction drops
// it.

#include <cstddef>
#include <utility>

#include "platform/com/Unknown.h"

namespace varnkit::com {

template <class I>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adds a reference of its own to in.
  explicit ComPtr(I* in) : p_(in) {
    if (p_) p_->AddRef();
  }
  // Takes over a reference the caller already holds.
  static ComPtr adopt(I* in) {
    ComPtr p;
    p.p_ = in;
    return p;
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  I* get() const noexcept { return p_; }
  I* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Drops the reference held.
  void reset() noexcept {
    if (I* p = std::exchange(p_, nullptr)) p->Release();
  }
  // Drops the reference held and gives the slot for a call that hands out a new one.
  void** put() noexcept {
    reset();
    return reinterpret_cast<void**>(&p_);
  }
  // The same, typed, for calls that hand out I itself.
  I** out() noexcept {
    reset();
    return &p_;
  }
  // Passes the reference held on to the caller.
  I* detach() noexcept { return std::exchange(p_, nullptr); }

  // Asks the object for interface J.
  template <class J>
  HRESULT as(ComPtr<J>& out) const noexcept {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(J::iid, out.put());
  }

 private:
  I* p_ = nullptr;
};

}  // namespace varnkit::com
