#pragma once
// The Midi module as a host meets it: registered in a registry of the test's own, controls
// made by class id, members called by dispatch id or name, events caught by a sink.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/ComPtr.h"
#include "platform/com/Dispatch.h"
#include "platform/com/Instance.h"
#include "platform/com/Module.h"
#include "tests/unit/com/RegistryTestSupport.h"

namespace varnkit::com::testing {

inline constexpr CLSID kMI = guid("{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr CLSID kInPage = guid("{EE5F8E45-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr CLSID kMO = guid("{EE5F8E48-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr CLSID kOutPage = guid("{EE5F8E49-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr GUID kLibId = guid("{EE5F8E41-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr IID kDMidi_IN = guid("{EE5F8E42-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr IID kDMidi_INEvents = guid("{EE5F8E43-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr IID kDMidi_OUT = guid("{EE5F8E46-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr IID kDMidi_OUTEvents = guid("{EE5F8E47-FCBB-11D3-B76C-DC249AF7BE36}");

inline std::string midiModule() {
  return std::filesystem::canonical(MIDI_MODULE_PATH).string();
}

// Whether the module is mapped into this process.
inline bool moduleLoaded() {
  void* handle = dlopen(midiModule().c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
}

inline std::shared_ptr<Module> loadModule() {
  std::shared_ptr<Module> module;
  std::string why;
  EXPECT_EQ(Module::load(midiModule(), module, why), S_OK) << why;
  return module;
}

// A registry of the test's own with the module registered in it.
class RegisteredModule : public TemporaryRegistry {
 protected:
  void SetUp() override {
    TemporaryRegistry::SetUp();
    ASSERT_EQ(loadModule()->registerServer(), S_OK);
  }

  template <class I>
  Instance<I> create(const CLSID& clsid) {
    Instance<I> made;
    std::string why;
    EXPECT_EQ(made.create(clsid, why), S_OK) << why;
    return made;
  }
};

// Calls member id with args; the result code into *hr when asked, else it must succeed.
inline Variant call(IDispatch* target, DISPID id, std::initializer_list<Variant> args = {},
                    uint16_t flags = DISPATCH_METHOD, HRESULT* hr = nullptr) {
  Variant result;
  const HRESULT code = target->Invoke(id, flags, std::span(args.begin(), args.size()), &result);
  if (hr != nullptr) {
    *hr = code;
  } else {
    EXPECT_EQ(code, S_OK) << "member " << id;
  }
  return result;
}

inline Variant get(IDispatch* target, DISPID id) {
  return call(target, id, {}, DISPATCH_PROPERTYGET);
}

inline void put(IDispatch* target, DISPID id, Variant value) {
  call(target, id, {std::move(value)}, DISPATCH_PROPERTYPUT);
}

// The dispatch id the object gives name; DISPID 0x7fffffff when it knows none.
inline DISPID idOf(IDispatch* target, std::string_view name) {
  DISPID id = 0x7fffffff;
  if (failed(target->GetIDsOfNames(name, id))) return 0x7fffffff;
  return id;
}

}  // namespace varnkit::com::testing
