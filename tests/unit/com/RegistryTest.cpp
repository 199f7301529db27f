// The registry: keys and values in memory, the file they are kept in, and the program ids of
// the classes written into them.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "platform/com/ClassRegistry.h"
#include "platform/com/Registry.h"
#include "tests/unit/com/RegistryTestSupport.h"

namespace varnkit::com {
namespace {

using testing::TemporaryRegistry;

constexpr CLSID kClass = guid("{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}");
constexpr CLSID kOther = guid("{EE5F8E48-FCBB-11D3-B76C-DC249AF7BE36}");

void writeFile(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

TEST(RegistryKeys, NamesIgnoreLetterCaseAndKeepTheirFirstSpelling) {
  RegistryKeys keys;
  ASSERT_TRUE(keys.set("CLSID\\{A}", "ProgID", "one"));
  ASSERT_TRUE(keys.set("clsid\\{a}", "progid", "two"));
  EXPECT_EQ(keys.value("Clsid\\{A}", "PROGID"), "two");
  EXPECT_EQ(keys.keys(), std::vector<std::string>{"CLSID\\{A}"});
  EXPECT_EQ(keys.values("CLSID\\{A}").front().first, "ProgID");
}

TEST(RegistryKeys, RemovingATreeTakesItsSubkeysButNotItsNeighbours) {
  RegistryKeys keys;
  keys.set("TypeLib\\{L}\\1.0", "@", "lib");
  keys.set("TypeLib\\{L}\\1.0\\Types", "0", "enum MTyp");
  keys.set("TypeLib\\{L}\\1.1", "@", "newer");
  keys.set("TypeLib\\{L}\\1.0x", "@", "a neighbour with the same start");
  EXPECT_EQ(keys.subkeys("TypeLib\\{L}"), (std::vector<std::string>{"1.0", "1.0x", "1.1"}));
  keys.removeTree("typelib\\{l}\\1.0");
  EXPECT_FALSE(keys.has("TypeLib\\{L}\\1.0"));
  EXPECT_FALSE(keys.has("TypeLib\\{L}\\1.0\\Types"));
  EXPECT_TRUE(keys.has("TypeLib\\{L}\\1.1"));
  EXPECT_TRUE(keys.has("TypeLib\\{L}\\1.0x"));
  EXPECT_TRUE(keys.has("TypeLib"));  // through the keys below it
}

TEST(RegistryKeys, RefusesKeysAndNamesTheFileCouldNotHold) {
  RegistryKeys keys;
  for (const char* key : {"", "\\A", "A\\", "A\\\\B", "A]", "A\nB"})
    EXPECT_FALSE(keys.set(key, "@", "v")) << key;
  for (const char* name : {"", "a=b", "a\nb", "[a]", "#a"}) EXPECT_FALSE(keys.set("K", name, "v"));
  EXPECT_TRUE(keys.empty());
}

TEST(RegistryKeys, ValuesOfAnyBytesSurviveTheFile) {
  RegistryKeys keys;
  const std::string odd = std::string("line\nbreak\r\\n = [x]\0 für", 25);
  keys.set("K\\Sub", "@", odd);
  keys.set("K\\Sub", "Empty", "");
  keys.create("K\\NoValues");
  const RegistryKeys back = RegistryKeys::parse(keys.serialize());
  EXPECT_EQ(back.value("K\\Sub"), odd);
  EXPECT_EQ(back.value("K\\Sub", "Empty"), "");
  EXPECT_TRUE(back.has("K\\NoValues"));
  EXPECT_EQ(back.keys(), keys.keys());
}

TEST(RegistryKeys, DamagedTextReadsAsTheEntriesThatCanBeRead) {
  const std::string text =
      "[Good]\nA=1\nno equals sign\nB=bad \\x escape\n[Bad\\\\Key]\nC=lost\n[Good2]\nD=4\n[Cut";
  const RegistryKeys keys = RegistryKeys::parse(text);
  EXPECT_EQ(keys.value("Good", "A"), "1");
  EXPECT_FALSE(keys.value("Good", "B"));
  EXPECT_FALSE(keys.value("Bad\\\\Key", "C"));
  EXPECT_EQ(keys.value("Good2", "D"), "4");
  EXPECT_EQ(keys.keys(), (std::vector<std::string>{"Good", "Good2"}));
}

TEST(RegistryKeys, NoBytesMakeReadingFail) {
  std::mt19937 random(7);
  RegistryKeys sample;
  sample.set("CLSID\\{A}", "InprocServer32", "/x/Midi.ocx");
  const std::string valid = sample.serialize();
  for (int round = 0; round < 2000; ++round) {
    std::string text = valid.substr(0, random() % (valid.size() + 1));
    for (int flips = random() % 8; flips > 0 && !text.empty(); --flips)
      text[random() % text.size()] = char(random());
    RegistryKeys::parse(text).serialize();
  }
}

class RegistryFile : public TemporaryRegistry {};

TEST_F(RegistryFile, UpdatesAreKeptAndLeaveNoTemporaryFiles) {
  std::string why;
  ASSERT_TRUE(updateRegistry([](RegistryKeys& keys) { keys.set("A", "x", "1"); }, why)) << why;
  ASSERT_TRUE(updateRegistry([](RegistryKeys& keys) { keys.set("B", "y", "2"); }, why)) << why;
  const RegistryKeys keys = readRegistry();
  EXPECT_EQ(keys.value("A", "x"), "1");
  EXPECT_EQ(keys.value("B", "y"), "2");
  for (const auto& entry : std::filesystem::directory_iterator(folder + "/VarnKit"))
    EXPECT_TRUE(entry.path().filename() == "registry" || entry.path().filename() == "registry.lock")
        << entry.path();
}

TEST_F(RegistryFile, ConcurrentUpdatesDoNotLoseEachOther) {
  std::vector<std::thread> writers;
  for (int w = 0; w < 4; ++w)
    writers.emplace_back([w] {
      for (int i = 0; i < 25; ++i) {
        std::string why;
        updateRegistry(
            [&](RegistryKeys& keys) { keys.set("W" + std::to_string(w), std::to_string(i), "v"); },
            why);
      }
    });
  for (auto& writer : writers) writer.join();
  const RegistryKeys keys = readRegistry();
  for (int w = 0; w < 4; ++w) EXPECT_EQ(keys.values("W" + std::to_string(w)).size(), 25u);
}

TEST_F(RegistryFile, RemovingFromAMissingRegistryWritesNothing) {
  std::string why;
  EXPECT_TRUE(updateRegistry([](RegistryKeys& keys) { keys.removeTree("CLSID"); }, why));
  EXPECT_FALSE(std::filesystem::exists(folder + "/VarnKit"));
  EXPECT_TRUE(readRegistry().empty());
}

TEST_F(RegistryFile, ADamagedFileReadsAsItsReadableEntriesAndOddEntriesAsAbsent) {
  writeFile(path,
            std::string("\x7f"
                        "ELF\0\0garbage\n",
                        14) +
                "[CLSID\\" + toString(kClass) +
                "]\nInprocServer32=/m/Midi.ocx\nMiscStatus=0xZZ\nTypeLib={broken}\n" +
                "[CLSID\\{not a guid}]\nInprocServer32=/x\n[MIDI.MidiINCtrl.1]\nCLSID=oops\n");
  const RegistryKeys keys = readRegistry();
  const auto entry = findClass(keys, kClass);
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry->modulePath, "/m/Midi.ocx");
  EXPECT_FALSE(entry->miscStatus);
  EXPECT_FALSE(entry->typeLib);
  EXPECT_FALSE(classOfProgId(keys, "MIDI.MidiINCtrl.1"));
  EXPECT_TRUE(readRegistry(folder + "/no such file").empty());
  EXPECT_TRUE(readRegistry(folder).empty());  // a folder, not a file
}

ClassEntry sampleClass(const CLSID& clsid, const std::string& progId) {
  ClassEntry entry;
  entry.clsid = clsid;
  entry.progId = progId;
  entry.modulePath = "/m/Midi.ocx";
  return entry;
}

TEST(ClassRegistry, RemovingAClassKeepsAProgramIdThatNamesAnotherOne) {
  RegistryKeys keys;
  writeClass(keys, sampleClass(kClass, "MIDI.Shared.1"));
  writeClass(keys, sampleClass(kOther, "MIDI.Shared.1"));  // taken over
  removeClass(keys, kClass);
  EXPECT_FALSE(findClass(keys, kClass));
  EXPECT_EQ(classOfProgId(keys, "MIDI.Shared.1"), kOther);
  removeClass(keys, kOther);
  EXPECT_TRUE(keys.empty());
}

TEST(ClassRegistry, AProgramIdCannotTakeTheRegistrysOwnKeys) {
  RegistryKeys keys;
  writeClass(keys, sampleClass(kOther, "Other.1"));
  for (const char* progId : {"CLSID", "typelib", "A\\B"}) {
    writeClass(keys, sampleClass(kClass, progId));
    EXPECT_TRUE(findClass(keys, kOther)) << progId;
    EXPECT_FALSE(classOfProgId(keys, progId)) << progId;
  }
}

}  // namespace
}  // namespace varnkit::com
