// Registering the Midi module in a registry of the test's own, finding its classes and type
// library there, and removing them again.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/com/ClassRegistry.h"
#include "platform/com/Registry.h"
#include "platform/com/Resources.h"
#include "platform/com/TypeLibRegistry.h"
#include "tests/integration/com/ComTestSupport.h"

namespace varnkit::com::testing {
namespace {

std::string fileText(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

class ModuleRegistration : public TemporaryRegistry {
 protected:
  std::shared_ptr<Module> module = loadModule();
};

TEST_F(ModuleRegistration, TheProgramIdLeadsToTheInputControlAndItsTypeLibrary) {
  ASSERT_EQ(module->registerServer(), S_OK);
  const RegistryKeys keys = readRegistry();
  const auto clsid = classOfProgId(keys, "MIDI.MidiINCtrl.1");
  ASSERT_TRUE(clsid);
  EXPECT_EQ(toString(*clsid), "{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}");
  const auto in = findClass(keys, *clsid);
  ASSERT_TRUE(in);
  EXPECT_EQ(in->typeLib, kLibId);
  EXPECT_EQ(in->version, "1.0");
  EXPECT_EQ(in->miscStatus, 0x30591u);
  EXPECT_EQ(in->modulePath, midiModule());
  EXPECT_EQ(in->typeName, "Midi_IN Control");
  EXPECT_EQ(in->threadingModel, "Apartment");
  EXPECT_TRUE(in->control);
  EXPECT_EQ(in->toolboxBitmap, midiModule() + ", 1");
  EXPECT_EQ(in->propertyPages, std::vector<CLSID>{kInPage});
}

TEST_F(ModuleRegistration, TheOtherClassesAreRegisteredWithTheirOwnEntries) {
  ASSERT_EQ(module->registerServer(), S_OK);
  const RegistryKeys keys = readRegistry();
  const auto out = findClass(keys, kMO);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->progId, "MIDI.MidiOUTCtrl.1");
  EXPECT_EQ(out->typeName, "Midi_OUT Control");
  EXPECT_EQ(out->miscStatus, 0x20591u);
  EXPECT_EQ(out->toolboxBitmap, midiModule() + ", 2");
  EXPECT_EQ(out->propertyPages, std::vector<CLSID>{kOutPage});
  EXPECT_EQ(out->typeLib, kLibId);
  for (const auto& [page, progId, name] :
       {std::tuple{kInPage, "MIDI.MidiINPropPage.1", "Midi_IN Property Page"},
        std::tuple{kOutPage, "MIDI.MidiOUTPropPage.1", "Midi_OUT Property Page"}}) {
    EXPECT_EQ(classOfProgId(keys, progId), page);
    const auto entry = findClass(keys, page);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->typeName, name);
    EXPECT_EQ(entry->modulePath, midiModule());
    EXPECT_FALSE(entry->control);
  }
}

TEST_F(ModuleRegistration, TheTypeLibraryIsRegisteredWithItsDeclarationsAndBothKindsOfName) {
  ASSERT_EQ(module->registerServer(), S_OK);
  const RegistryKeys keys = readRegistry();
  const auto lib = findTypeLib(keys, kLibId, 1, 0);
  ASSERT_TRUE(lib);
  EXPECT_EQ(lib->name, "VERIRud");
  EXPECT_EQ(lib->lcid, 0x409u);
  EXPECT_EQ(lib->helpString, "# Ned's Devu DodareV #");
  EXPECT_EQ(lib->helpFile, "Midi.hlp");
  EXPECT_EQ(lib->path, midiModule());
  EXPECT_EQ(
      lib->declarations,
      (std::vector<std::string>{
          "enum MTyp", "dispinterface _DMidi_IN", "dispinterface _DMidi_INEvents", "coclass MI",
          "dispinterface _DMidi_OUT", "dispinterface _DMidi_OUTEvents", "coclass MO"}));
  EXPECT_EQ(keys.value("Interface\\" + toString(kDMidi_INEvents), "Description"),
            "Ereignisschnittstelle für Midi_IN Control");
  const std::vector<std::tuple<IID, const char*, DISPID>> names = {
      {kDMidi_IN, "Status", 1},        {kDMidi_IN, "HMidiThru", 2},
      {kDMidi_IN, "HMIDI", 2},         {kDMidi_IN, "InOpen", 3},
      {kDMidi_IN, "InClose", 4},       {kDMidi_IN, "InCount", 5},
      {kDMidi_IN, "MidiInCount", 5},   {kDMidi_IN, "InName", 6},
      {kDMidi_IN, "MidiInName", 6},    {kDMidi_IN, "AboutBox", -552},
      {kDMidi_INEvents, "Message", 1}, {kDMidi_INEvents, "MessageAt", 2},
      {kDMidi_OUT, "HMidi", 2},        {kDMidi_OUT, "OutOpen", 3},
      {kDMidi_OUT, "OutCount", 4},     {kDMidi_OUT, "MidiOutCount", 4},
      {kDMidi_OUT, "SendMidi", 5},     {kDMidi_OUT, "OutName", 6},
      {kDMidi_OUT, "MidiOutName", 6},  {kDMidi_OUT, "OutClose", 7},
      {kDMidi_OUT, "SendSysEx", 8}};
  for (const auto& [iid, name, id] : names)
    EXPECT_EQ(findRegisteredMember(keys, iid, name), id) << name;
  EXPECT_FALSE(findRegisteredMember(keys, kDMidi_OUT, "AboutBox"));
  EXPECT_EQ(keys.value("TypeLib\\" + toString(kLibId) + "\\1.0\\Enum\\MTyp", "X_Programm"), "192");
}

TEST_F(ModuleRegistration, UnregisteringLeavesNothingOfTheModuleBehind) {
  std::string why;
  ASSERT_TRUE(
      updateRegistry([](RegistryKeys& keys) { keys.set("Other.Prog.1", "CLSID", "{x}"); }, why));
  const std::string before = fileText(path);
  ASSERT_EQ(module->registerServer(), S_OK);
  ASSERT_EQ(module->unregisterServer(), S_OK);
  EXPECT_EQ(fileText(path), before);
  EXPECT_EQ(module->unregisterServer(), S_OK);  // once more: nothing left to remove
}

TEST_F(ModuleRegistration, RegisteringTwiceChangesNothing) {
  ASSERT_EQ(module->registerServer(), S_OK);
  const std::string once = fileText(path);
  ASSERT_EQ(module->registerServer(), S_OK);
  EXPECT_EQ(fileText(path), once);
}

TEST_F(ModuleRegistration, ARegistryThatCannotBeWrittenFailsWithTheTypeLibraryCode) {
  std::ofstream(folder + "/VarnKit") << "a file where the folder should be";
  EXPECT_EQ(module->registerServer(), SELFREG_E_TYPELIB);
  EXPECT_EQ(module->unregisterServer(), SELFREG_E_TYPELIB);
  EXPECT_EQ(fileText(folder + "/VarnKit"), "a file where the folder should be");
}

TEST(ModuleResources, TheVersionRecordMarksTheModuleAsSelfRegistering) {
  const auto version = readResource(midiModule(), "VERSION", 1);
  ASSERT_TRUE(version);
  for (const char* line :
       {"FileVersion=2.0.0.1\n", "ProductVersion=2.0.0.1\n", "Language=0x0407\n", "CodePage=1200\n",
        "FileDescription=Ned's Devu DodareV\n", "ProductName=Ned's Devu DodareV\n",
        "InternalName=Zadu ZUV\n", "OriginalFilename=Midi.OCX\n", "OLESelfRegister=\n"})
    EXPECT_NE(version->find(line), std::string::npos) << line;
}

TEST(ModuleResources, TheStringTableNamesTheClassesAndPages) {
  const std::vector<std::pair<uint32_t, std::string>> strings = {
      {1, "Midi_IN Control"},  {2, "Midi_IN Property Page"},
      {3, "Midi_OUT Control"}, {4, "Midi_OUT Property Page"},
      {200, "General"},        {201, "General"}};
  for (const auto& [id, text] : strings) EXPECT_EQ(readResource(midiModule(), "STRING", id), text);
}

}  // namespace
}  // namespace varnkit::com::testing
