#pragma once
// A component module loaded into this process, and its entry points.

#include <memory>
#include <string>

#include "platform/com/EntryPoints.h"

namespace varnkit::com {

// A library opened with dlopen; closes it when destroyed unless released. Move-only.
class LibraryHandle {
 public:
  LibraryHandle() = default;
  explicit LibraryHandle(void* handle) noexcept : handle_(handle) {}
  LibraryHandle(LibraryHandle&& other) noexcept;
  LibraryHandle& operator=(LibraryHandle&& other) noexcept;
  ~LibraryHandle();

  void* get() const noexcept { return handle_; }
  // Keeps the library loaded for the rest of the process.
  void release() noexcept { handle_ = nullptr; }

 private:
  void* handle_ = nullptr;
};

class Module {
 public:
  // Loads the module at path, or shares the one an earlier load of this process made that is
  // still held. On failure: CO_E_DLLNOTFOUND (the loader's complaint in why) or
  // CO_E_ERRORINDLL (an entry point is missing), and module stays null.
  static HRESULT load(const std::string& path, std::shared_ptr<Module>& module, std::string& why);
  // Unloads the module, unless it still has live objects or locks: code that something
  // still refers to stays loaded for the rest of the process.
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  HRESULT registerServer() const noexcept { return register_(); }
  HRESULT unregisterServer() const noexcept { return unregister_(); }
  HRESULT getClassObject(const CLSID& clsid, const IID& iid, void** object) const noexcept {
    return getClassObject_(&clsid, &iid, object);
  }
  HRESULT canUnloadNow() const noexcept { return canUnloadNow_(); }
  // Keeps the module loaded for the rest of the process, whatever becomes of this object.
  void keepLoaded() noexcept { library_.release(); }
  // The file, as loaded.
  const std::string& path() const noexcept { return path_; }

 private:
  Module(std::string path, LibraryHandle library) noexcept;
  static HRESULT open(const std::string& path, std::shared_ptr<Module>& module, std::string& why);

  std::string path_;
  LibraryHandle library_;
  DllRegisterServerFn register_ = nullptr;
  DllUnregisterServerFn unregister_ = nullptr;
  DllGetClassObjectFn getClassObject_ = nullptr;
  DllCanUnloadNowFn canUnloadNow_ = nullptr;
};

}  // namespace varnkit::com
