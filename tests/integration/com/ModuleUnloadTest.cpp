// Unloading: the module goes when nothing of it is held, and comes back as new.
//
// Unloading it also drops the globals through which the MIDI services reach their
// process-wide objects, which are never destroyed by design; the leak checker would report
// them, so this program runs without it.

#include <gtest/gtest.h>

#include "platform/com/ClassFactory.h"
#include "tests/integration/com/ComTestSupport.h"

#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
  return "detect_leaks=0";
}
#endif

namespace varnkit::com::testing {
namespace {

ComPtr<IDispatch> makeOutput(Module& module) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(module.getClassObject(kMO, IClassFactory::iid, factory.put()), S_OK);
  ComPtr<IDispatch> out;
  EXPECT_EQ(factory->CreateInstance(nullptr, IDispatch::iid, out.put()), S_OK);
  return out;
}

TEST(ModuleUnload, TheModuleUnloadsWhenNothingIsHeldAndReloadsAsNew) {
  if (moduleLoaded()) GTEST_SKIP() << "an earlier test in this process keeps the module";
  for (int round = 0; round < 2; ++round) {
    {
      const auto module = loadModule();
      ComPtr<IDispatch> out = makeOutput(*module);
      EXPECT_EQ(get(out.get(), 1), Variant(int32_t(0))) << "round " << round;
      put(out.get(), 1, Variant(int32_t(7)));
      EXPECT_EQ(get(out.get(), 1), Variant(int32_t(7)));
      EXPECT_TRUE(moduleLoaded());
    }
    EXPECT_FALSE(moduleLoaded()) << "round " << round;
  }
}

TEST(ModuleUnload, AnObjectStillHeldKeepsItsModuleLoaded) {
  ComPtr<IDispatch> out;
  out = makeOutput(*loadModule());
  EXPECT_TRUE(moduleLoaded());
  put(out.get(), 1, Variant(int32_t(3)));
  EXPECT_EQ(get(out.get(), 1), Variant(int32_t(3)));
}

// Last: the module stays for the rest of the process.
TEST(ModuleUnload, AModuleThatLookedAtTheMidiPortsStaysLoaded) {
  {
    ComPtr<IDispatch> out = makeOutput(*loadModule());
    call(out.get(), 4);  // OutCount: the JACK client it may open runs the module's code
  }
  EXPECT_TRUE(moduleLoaded());
}

}  // namespace
}  // namespace varnkit::com::testing
