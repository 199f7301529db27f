// The module's class objects and DllCanUnloadNow, and creating objects by class id when the
// registry names a file that is no module or a module that does not serve the class.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/com/ClassFactory.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/Registry.h"
#include "tests/integration/com/ComTestSupport.h"

namespace varnkit::com::testing {
namespace {

ComPtr<IClassFactory> factoryOf(Module& module, const CLSID& clsid) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(module.getClassObject(clsid, IClassFactory::iid, factory.put()), S_OK);
  return factory;
}

TEST(ModuleLifetime, CanUnloadNowFollowsObjectsAndLocks) {
  const auto module = loadModule();
  ASSERT_EQ(module->canUnloadNow(), S_OK);
  for (const CLSID& clsid : {kMI, kInPage, kMO, kOutPage}) {
    ComPtr<IClassFactory> factory = factoryOf(*module, clsid);
    EXPECT_EQ(module->canUnloadNow(), S_FALSE) << "a class object is held";
    ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IUnknown::iid, object.put()), S_OK);
    ASSERT_EQ(factory->LockServer(true), S_OK);
    factory.reset();
    EXPECT_EQ(module->canUnloadNow(), S_FALSE) << "an object and a lock";
    object.reset();
    EXPECT_EQ(module->canUnloadNow(), S_FALSE) << "a lock";
    factory = factoryOf(*module, clsid);
    ASSERT_EQ(factory->LockServer(false), S_OK);
    ASSERT_EQ(factory->LockServer(false), S_OK);  // one too many is ignored
    factory.reset();
    EXPECT_EQ(module->canUnloadNow(), S_OK);
  }
}

TEST(ModuleLifetime, ClassObjectsRefuseWhatTheyCannotDo) {
  const auto module = loadModule();
  ComPtr<IUnknown> object;
  EXPECT_EQ(module->getClassObject(guid("{EE5F8E40-FCBB-11D3-B76C-DC249AF7BE36}"),
                                   IClassFactory::iid, object.put()),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_FALSE(object);
  EXPECT_EQ(module->getClassObject(kMI, IClassFactory::iid, nullptr), E_POINTER);
  EXPECT_EQ(module->getClassObject(kMI, IDispatch::iid, object.put()), E_NOINTERFACE);
  ComPtr<IClassFactory> factory = factoryOf(*module, kMI);
  EXPECT_EQ(factory->CreateInstance(factory.get(), IUnknown::iid, object.put()),
            CLASS_E_NOAGGREGATION);
  EXPECT_EQ(factory->CreateInstance(nullptr, IClassFactory::iid, object.put()), E_NOINTERFACE);
  factory.reset();
  EXPECT_EQ(module->canUnloadNow(), S_OK) << "refused objects are gone again";
}

class CreateByClassId : public TemporaryRegistry {
 protected:
  void registerAt(const std::string& module, const CLSID& clsid = kMI) {
    ClassEntry entry;
    entry.clsid = clsid;
    entry.modulePath = module;
    std::string why;
    ASSERT_TRUE(updateRegistry([&](RegistryKeys& keys) { writeClass(keys, entry); }, why));
  }
  HRESULT create(std::string& why) {
    Instance<IDispatch> control;
    const HRESULT hr = control.create(kMI, why);
    EXPECT_EQ(bool(control), succeeded(hr));
    return hr;
  }
};

TEST_F(CreateByClassId, ALibraryThatIsNoModuleIsReportedSo) {
  Dl_info info{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&dlopen), &info), 0);
  registerAt(info.dli_fname);
  std::string why;
  EXPECT_EQ(create(why), CO_E_ERRORINDLL);
  EXPECT_NE(why.find("is not a component module"), std::string::npos) << why;
}

TEST_F(CreateByClassId, AModuleThatDoesNotServeTheClassIsReportedSo) {
  constexpr CLSID kUnknown = guid("{EE5F8E40-FCBB-11D3-B76C-DC249AF7BE36}");
  registerAt(midiModule(), kUnknown);
  Instance<IDispatch> control;
  std::string why;
  EXPECT_EQ(control.create(kUnknown, why), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(why, "Midi.ocx does not serve class " + toString(kUnknown) + " (0x80040111)");
}

}  // namespace
}  // namespace varnkit::com::testing
