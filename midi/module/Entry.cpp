// The module's entry points, the only names it exports.

#include <type_traits>

#include "midi/module/Classes.h"
#include "midi/module/Registration.h"
#include "platform/com/EntryPoints.h"

using varnkit::com::CLSID;
using varnkit::com::HRESULT;
using varnkit::com::IID;

VARNKIT_COM_EXPORT HRESULT DllRegisterServer() noexcept {
  return varnkit::midictl::registerModule();
}

VARNKIT_COM_EXPORT HRESULT DllUnregisterServer() noexcept {
  return varnkit::midictl::unregisterModule();
}

VARNKIT_COM_EXPORT HRESULT DllGetClassObject(const CLSID* clsid, const IID* iid,
                                             void** object) noexcept {
  using namespace varnkit::com;
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (clsid == nullptr || iid == nullptr) return E_INVALIDARG;
  for (const varnkit::midictl::ServedClass& served : varnkit::midictl::servedClasses())
    if (served.clsid == *clsid) return served.factory->QueryInterface(*iid, object);
  return CLASS_E_CLASSNOTAVAILABLE;
}

VARNKIT_COM_EXPORT HRESULT DllCanUnloadNow() noexcept {
  return varnkit::com::ModuleUsage::inUse() ? varnkit::com::S_FALSE : varnkit::com::S_OK;
}

static_assert(std::is_same_v<decltype(&DllRegisterServer), varnkit::com::DllRegisterServerFn>);
static_assert(std::is_same_v<decltype(&DllUnregisterServer), varnkit::com::DllUnregisterServerFn>);
static_assert(std::is_same_v<decltype(&DllGetClassObject), varnkit::com::DllGetClassObjectFn>);
static_assert(std::is_same_v<decltype(&DllCanUnloadNow), varnkit::com::DllCanUnloadNowFn>);
