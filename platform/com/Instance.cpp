#include "platform/com/Instance.h"

#include "platform/com/ClassFactory.h"
#include "platform/com/ClassRegistry.h"

namespace varnkit::com {
namespace {

std::string fileName(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

}  // namespace

HRESULT createInstance(const CLSID& clsid, const IID& iid, std::shared_ptr<Module>& module,
                       void** object, std::string& why, const std::string& registry) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  module.reset();
  const auto entry = findClass(readRegistry(registry), clsid);
  if (!entry) {
    why = "class " + toString(clsid) + " is not registered";
    return REGDB_E_CLASSNOTREG;
  }
  std::shared_ptr<Module> loaded;
  if (const HRESULT hr = Module::load(entry->modulePath, loaded, why); failed(hr)) return hr;
  const std::string file = fileName(entry->modulePath);
  ComPtr<IClassFactory> factory;
  if (const HRESULT hr = loaded->getClassObject(clsid, IClassFactory::iid, factory.put());
      failed(hr) || !factory) {
    why = file + " does not serve class " + toString(clsid) + " (" + resultText(hr) + ")";
    return failed(hr) ? hr : E_UNEXPECTED;
  }
  if (const HRESULT hr = factory->CreateInstance(nullptr, iid, object); failed(hr)) {
    why = file + " cannot make an object of class " + toString(clsid) + " (" + resultText(hr) + ")";
    return hr;
  }
  module = std::move(loaded);
  return S_OK;
}

}  // namespace varnkit::com
