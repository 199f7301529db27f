#pragma once
// Creating an object by class id: the registry names the module, the module is loaded, its
// class object makes the object. The object keeps its module loaded while it lives.

#include <memory>
#include <string>
#include <utility>

#include "platform/com/ComPtr.h"
#include "platform/com/Module.h"
#include "platform/com/Registry.h"

namespace varnkit::com {

// Makes an object of class clsid, looked up in the registry at registry, and hands out its
// interface iid into *object, with the module that made it into module. On failure a
// sentence in why and REGDB_E_CLASSNOTREG (not registered), CO_E_DLLNOTFOUND (cannot be
// loaded), CO_E_ERRORINDLL (not a module) or the module's own code. User-interface thread.
HRESULT createInstance(const CLSID& clsid, const IID& iid, std::shared_ptr<Module>& module,
                       void** object, std::string& why,
                       const std::string& registry = registryPath());

// Interface I of an object made by a module, holding that module loaded. Move-only.
template <class I>
class Instance {
 public:
  Instance() = default;
  Instance(Instance&& other) noexcept
      : module_(std::move(other.module_)), object_(std::move(other.object_)) {}
  Instance& operator=(Instance&& other) noexcept {
    reset();
    module_ = std::move(other.module_);
    object_ = std::move(other.object_);
    return *this;
  }
  ~Instance() { reset(); }

  // Makes an object of class clsid as createInstance does.
  HRESULT create(const CLSID& clsid, std::string& why,
                 const std::string& registry = registryPath()) {
    reset();
    return createInstance(clsid, I::iid, module_, object_.put(), why, registry);
  }
  // Releases the object, then the module, which unloads when nothing else holds it.
  void reset() noexcept {
    object_.reset();
    module_.reset();
  }

  I* get() const noexcept { return object_.get(); }
  I* operator->() const noexcept { return object_.get(); }
  explicit operator bool() const noexcept { return bool(object_); }
  const std::shared_ptr<Module>& module() const noexcept { return module_; }

 private:
  std::shared_ptr<Module> module_;  // declared first, so released last
  ComPtr<I> object_;
};

}  // namespace varnkit::com
