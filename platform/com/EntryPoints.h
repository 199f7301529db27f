#pragma once
// The four functions a component module exports, and how a module marks them for export.

#include "platform/com/Guid.h"
#include "platform/com/Result.h"

// Exports a module entry point under its plain name.
#define VARNKIT_COM_EXPORT extern "C" __attribute__((visibility("default")))

namespace varnkit::com {

// Registers the module's type library and classes in the registry.
using DllRegisterServerFn = HRESULT (*)() noexcept;
// Removes what DllRegisterServer registered.
using DllUnregisterServerFn = HRESULT (*)() noexcept;
// Hands out interface iid of the class object of class clsid.
using DllGetClassObjectFn = HRESULT (*)(const CLSID* clsid, const IID* iid, void** object) noexcept;
// S_OK when no object and no lock of the module is alive, else S_FALSE.
using DllCanUnloadNowFn = HRESULT (*)() noexcept;

inline constexpr const char* kDllRegisterServer = "DllRegisterServer";
inline constexpr const char* kDllUnregisterServer = "DllUnregisterServer";
inline constexpr const char* kDllGetClassObject = "DllGetClassObject";
inline constexpr const char* kDllCanUnloadNow = "DllCanUnloadNow";

}  // namespace varnkit::com
