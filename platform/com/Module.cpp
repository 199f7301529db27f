#include "platform/com/Module.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <map>
#include <mutex>
#include <utility>

namespace varnkit::com {
namespace {

// The modules held in this process, so that every load of one file shares one Module.
struct Loaded {
  std::mutex lock;
  std::map<std::string, std::weak_ptr<Module>> modules;
};

Loaded& loaded() {
  static Loaded* all = new Loaded;  // never destroyed: modules may outlive static objects
  return *all;
}

std::string canonical(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string text = resolved;
  free(resolved);
  return text;
}

std::string fileName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

template <class Fn>
bool resolve(void* library, const char* name, Fn& fn, std::string& missing) {
  fn = reinterpret_cast<Fn>(dlsym(library, name));
  if (fn == nullptr && missing.empty()) missing = name;
  return fn != nullptr;
}

}  // namespace

LibraryHandle::LibraryHandle(LibraryHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

LibraryHandle& LibraryHandle::operator=(LibraryHandle&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

LibraryHandle::~LibraryHandle() {
  if (handle_ != nullptr) dlclose(handle_);
}

Module::Module(std::string path, LibraryHandle library) noexcept
    : path_(std::move(path)), library_(std::move(library)) {}

Module::~Module() {
  if (canUnloadNow_ != nullptr && canUnloadNow_() != S_OK) library_.release();
}

HRESULT Module::load(const std::string& path, std::shared_ptr<Module>& module, std::string& why) {
  module.reset();
  const std::string file = canonical(path);
  Loaded& all = loaded();
  std::lock_guard hold(all.lock);
  std::erase_if(all.modules, [](const auto& entry) { return entry.second.expired(); });
  if (auto found = all.modules.find(file); found != all.modules.end()) {
    module = found->second.lock();
    return S_OK;
  }
  const HRESULT hr = open(file, module, why);
  if (succeeded(hr)) all.modules[file] = module;
  return hr;
}

HRESULT Module::open(const std::string& path, std::shared_ptr<Module>& module, std::string& why) {
  dlerror();
  LibraryHandle library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (library.get() == nullptr) {
    const char* error = dlerror();
    why = fileName(path) + " cannot be loaded: " + (error ? error : "unknown error");
    return CO_E_DLLNOTFOUND;
  }
  std::shared_ptr<Module> made(new Module(path, std::move(library)));
  std::string missing;
  resolve(made->library_.get(), kDllRegisterServer, made->register_, missing);
  resolve(made->library_.get(), kDllUnregisterServer, made->unregister_, missing);
  resolve(made->library_.get(), kDllGetClassObject, made->getClassObject_, missing);
  resolve(made->library_.get(), kDllCanUnloadNow, made->canUnloadNow_, missing);
  if (!missing.empty()) {
    why = fileName(path) + " is not a component module: it does not export " + missing;
    return CO_E_ERRORINDLL;
  }
  module = std::move(made);
  return S_OK;
}

}  // namespace varnkit::com
