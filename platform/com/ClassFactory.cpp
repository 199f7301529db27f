#include "platform/com/ClassFactory.h"

namespace varnkit::com {

std::atomic<int32_t>& ModuleUsage::objects() noexcept {
  static std::atomic<int32_t> count{0};
  return count;
}

std::atomic<int32_t>& ModuleUsage::locks() noexcept {
  static std::atomic<int32_t> count{0};
  return count;
}

void ModuleUsage::unlock() noexcept {
  int32_t held = locks().load();
  while (held > 0 && !locks().compare_exchange_weak(held, held - 1)) {
  }
}

HRESULT ClassFactory::QueryInterface(const IID& iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (iid == IUnknown::iid || iid == IClassFactory::iid) return handOut(this, object);
  return E_NOINTERFACE;
}

uint32_t ClassFactory::AddRef() noexcept {
  ModuleUsage::addObject();
  return 2;
}

uint32_t ClassFactory::Release() noexcept {
  ModuleUsage::removeObject();
  return 1;
}

HRESULT ClassFactory::CreateInstance(IUnknown* outer, const IID& iid, void** object) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  return create_(iid, object);
}

HRESULT ClassFactory::LockServer(bool lock) noexcept {
  if (lock) {
    ModuleUsage::lock();
  } else {
    ModuleUsage::unlock();
  }
  return S_OK;
}

}  // namespace varnkit::com
