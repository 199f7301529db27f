#pragma once
// The module side of object creation: class objects that make objects of one class, and the
// module's count of live objects and locks that tells whether it may be unloaded.

#include <atomic>
#include <cstdint>
#include <new>

#include "platform/com/Unknown.h"

namespace varnkit::com {

class IClassFactory : public IUnknown {
 public:
  static constexpr IID iid = guid("{D9022F7E-0583-44DA-B4C9-9A81CC0D78EF}");

  // Makes an object of the class and hands out its interface iid. outer must be null: objects
  // are not aggregated (CLASS_E_NOAGGREGATION).
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) noexcept = 0;
  // Keeps the module loaded while locked, without any object alive.
  virtual HRESULT LockServer(bool lock) noexcept = 0;

 protected:
  ~IClassFactory() = default;
};

// The live objects and locks of the binary this runtime is linked into. Any thread.
class ModuleUsage {
 public:
  static void addObject() noexcept { objects().fetch_add(1); }
  static void removeObject() noexcept { objects().fetch_sub(1); }
  static void lock() noexcept { locks().fetch_add(1); }
  // An unlock without a lock is ignored.
  static void unlock() noexcept;
  // Whether an object or a lock is alive.
  static bool inUse() noexcept { return objects().load() > 0 || locks().load() > 0; }

 private:
  static std::atomic<int32_t>& objects() noexcept;
  static std::atomic<int32_t>& locks() noexcept;
};

// Counts its owner as a live object of the module for as long as the owner exists.
class ModuleObject {
 public:
  ModuleObject() noexcept { ModuleUsage::addObject(); }
  ~ModuleObject() { ModuleUsage::removeObject(); }
  ModuleObject(const ModuleObject&) = delete;
  ModuleObject& operator=(const ModuleObject&) = delete;
};

// Makes a T with args and hands out its interface iid; the creator's reference is dropped,
// so a T nobody asked for in a way it supports is gone again.
template <class T, class... Args>
HRESULT createObject(const IID& iid, void** object, Args&&... args) noexcept {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  T* made = nullptr;
  try {
    made = new T(std::forward<Args>(args)...);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_FAIL;
  }
  const HRESULT hr = made->QueryInterface(iid, object);
  made->Release();
  return hr;
}

// The class object of one class: lives as long as the module, and counts every reference
// handed out as a live object, so that the module stays while a host holds it.
class ClassFactory final : public IClassFactory {
 public:
  using Create = HRESULT (*)(const IID& iid, void** object) noexcept;
  explicit constexpr ClassFactory(Create create) : create_(create) {}
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  HRESULT QueryInterface(const IID& iid, void** object) noexcept override;
  uint32_t AddRef() noexcept override;
  uint32_t Release() noexcept override;
  HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) noexcept override;
  HRESULT LockServer(bool lock) noexcept override;

 private:
  Create create_;
};

}  // namespace varnkit::com
