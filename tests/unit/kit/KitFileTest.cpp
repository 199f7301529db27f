#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/Error.h"
#include "platform/files/TextFiles.h"
#include "tests/support/KitFixture.h"

namespace varnkit {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeText(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

class KitFileTest : public ::testing::Test {
 protected:
  // The kit of the worked example: pad 0 Kick with two layers, pad 2 Hat in group 1.
  void buildRock() {
    Drumkit& kit = f.kit();
    kit.Kitname = f.dialogs.nameBox = "Rock";
    preset& kick = kit.Instrument(0);
    kick.PAD("Kick");
    ASSERT_NE(kick.add(0, 0, 0, f.sample("kick1.wav", 0.1f, 100), f.folder()), nullptr);
    ASSERT_NE(kick.add(80, 0, 0, f.sample("kick2.wav", 0.2f, 100), f.folder()), nullptr);
    preset& hat = kit.Instrument(2);
    hat.PAD("Hat");
    hat.Grp(1);
    ASSERT_NE(hat.add(0, 0, 0, f.sample("hat.wav", 0.3f, 100), f.folder()), nullptr);
  }
  fs::path app(const std::string& name) const { return f.app.path() / name; }
  std::string loadText(const std::string& text, const std::string& name = "t.txt") {
    writeText(app(name), text);
    EXPECT_TRUE(f.kit().LoadKit(app(name).string()));
    return name;
  }

  testing::KitFixture f;
  static constexpr const char* kRockText =
      "vst samples,\r\r\nRock,\r\r\nRock,\r\r\nVarnKit,\r\r\n\r\r\n"
      "1,0,0,\t36,Kick,\tkick1.wav,0,79,0,0,0,0,0,0,\r\r\n"
      "1,0,0,\t36,Kick,\tkick2.wav,80,127,0,0,0,0,0,0,\r\r\n"
      "3,0,0,\t42,Hat,\that.wav,0,127,0,0,0,0,1,1,\r\r\n"
      "-1 by Ned's VarnKit\r\n";
};

TEST_F(KitFileTest, SavesTheWorkedExampleByteForByteAndCopiesItsSamples) {
  buildRock();
  f.state.kitChanged = true;
  f.kit().SaveKit();
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  for (const char* s : {"kick1.wav", "kick2.wav", "hat.wav"})
    EXPECT_EQ(bytesOf(app("Rock") / s), bytesOf(f.audio.dir.path() / s)) << s;
  EXPECT_EQ(f.kit().Instrument(0).Item(2)->path, app("Rock").string());
  EXPECT_FALSE(f.state.kitChanged);
  EXPECT_TRUE(f.dialogs.shown.empty());
  EXPECT_FALSE(fs::exists(app("Rock.txt.saving")));
}

TEST_F(KitFileTest, ALoadedKitSavesBackToTheSameBytes) {
  buildRock();
  preset& kick = f.kit().Instrument(0);
  kick.offset = kick.lenght = kick.KeyStart = kick.KeyEnd = 5;
  kick.Item(1)->VolLeft = 0.5;
  f.kit().SaveKit();
  ASSERT_TRUE(f.kit().LoadKit(app("Rock.txt").string()));

  EXPECT_EQ(kick.PAD(), "Kick");
  EXPECT_EQ(f.pads.tooltips[0], "Kick");
  EXPECT_EQ(kick.RootKey, 36);
  ASSERT_EQ(kick.Count(), 2);
  EXPECT_EQ(kick.Item(2)->VelStart, 80);
  EXPECT_EQ(kick.Item(2)->path, app("Rock").string());
  EXPECT_EQ(kick.offset + kick.lenght + kick.KeyStart + kick.KeyEnd, 0);
  EXPECT_EQ(kick.Item(1)->VolLeft, 0.0);
  EXPECT_EQ(f.kit().Instrument(2).Grp(), 1);
  EXPECT_TRUE(f.state.Group1Pads.contains("I2"));
  EXPECT_EQ(f.kit().Instrument(1).PAD(), "xxx");
  EXPECT_EQ(f.kit().Samples, app("Rock").string());
  EXPECT_EQ(f.kit().CopyRyt, "VarnKit");
  EXPECT_EQ(f.kit().Kitname, "Rock");  // the caller names the kit

  f.dialogs.answers = {vbYes};
  f.kit().SaveKit();
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  ASSERT_EQ(f.dialogs.shown.size(), 1u);
  EXPECT_EQ(f.dialogs.shown[0].prompt,
            "This will destroy your existing 'Rock' Drumkit! Are you sure?");
  EXPECT_EQ(f.dialogs.shown[0].title, "Question");
  EXPECT_EQ(f.dialogs.shown[0].buttons, vbYesNo | vbQuestion);
}

TEST_F(KitFileTest, SavingNeedsANameInTheBoxAndAYesToReplaceAKit) {
  buildRock();
  f.dialogs.nameBox = "";
  f.state.kitChanged = true;
  f.kit().SaveKit();
  EXPECT_FALSE(fs::exists(app("Rock.txt")));
  EXPECT_TRUE(f.state.kitChanged);
  EXPECT_TRUE(f.dialogs.shown.empty());

  f.dialogs.nameBox = "Rock";
  writeText(app("Rock.txt"), "old");
  f.dialogs.answers = {vbNo};
  f.kit().SaveKit();
  EXPECT_EQ(bytesOf(app("Rock.txt")), "old");
  EXPECT_FALSE(fs::exists(app("Rock")));
  EXPECT_TRUE(f.state.kitChanged);
}

TEST_F(KitFileTest, AKitWhoseSamplesAlreadyLieInItsFolderSavesAgain) {
  buildRock();
  f.kit().SaveKit();
  ASSERT_TRUE(f.kit().LoadKit(app("Rock.txt").string()));
  f.kit().Kitname = "Rock";
  f.state.kitChanged = true;
  f.kit().SaveKit();  // every copy is a copy onto itself
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  EXPECT_EQ(bytesOf(app("Rock") / "hat.wav"), bytesOf(f.audio.dir.path() / "hat.wav"));
  EXPECT_FALSE(f.state.kitChanged);
}

TEST_F(KitFileTest, RootKeysStayDistinctBetweenPadsButNotWithinOne) {
  f.sample("a.wav", 0.1f, 10);
  const std::string folder = f.folder();
  std::string text = "vst samples," + folder + "," + folder + ",VarnKit,\n";
  for (int i = 0; i < 3; ++i)
    text += "2,0,0,38,Snare,a.wav," + std::to_string(i * 40) + ",0,0,0,0,0,0,0,\n";
  text += "3,0,0,40,A,a.wav,0,0,0,0,0,0,0,0,\n4,0,0,40,B,a.wav,0,0,0,0,0,0,0,0,\n";
  text += "5,0,0,41,C,a.wav,0,0,0,0,0,0,0,0,\n1,0,0,38,K,a.wav,0,0,0,0,0,0,0,0,\nend";
  loadText(text);
  Drumkit& kit = f.kit();
  EXPECT_EQ(kit.Instrument(1).RootKey, 38);
  EXPECT_EQ(kit.Instrument(1).Count(), 3);
  EXPECT_EQ(kit.Instrument(2).RootKey, 40);
  EXPECT_EQ(kit.Instrument(3).RootKey, 41);
  EXPECT_EQ(kit.Instrument(4).RootKey, 42);  // 41 was taken by pad 4 of the file
  EXPECT_EQ(kit.Instrument(0).RootKey, 39);  // 38 belongs to pad 2 of the file
  EXPECT_EQ(kit.Instrument(5).RootKey, 47);  // no record: the default, not claimed
  EXPECT_EQ(f.state.usedRootKeys[38], 1);
  EXPECT_EQ(f.state.usedRootKeys[47], KitState::kFreeKey);
}

TEST_F(KitFileTest, DefaultRootKeysAreNotClaimed) {
  f.sample("a.wav", 0.1f, 10);
  loadText("vst samples,x," + f.folder() + ",VarnKit,1,0,0,38,K,a.wav,0,0,0,0,0,0,0,0,end");
  EXPECT_EQ(f.kit().Instrument(0).RootKey, 38);
  EXPECT_EQ(f.kit().Instrument(1).RootKey, 38);
}

TEST_F(KitFileTest, AMissingSampleDropsOnlyItsLayer) {
  f.sample("a.wav", 0.1f, 10);
  loadText(
      "vst samples,x," + f.folder() +
      ",VarnKit,\n1,0,0,50,Tom,gone.wav,0,0,0,0,0,0,2,1,\n1,0,0,50,Tom,a.wav,64,0,0,0,0,0,2,1,\n"
      "-1 by Ned's VarnKit\r\n");
  preset& pad = f.kit().Instrument(0);
  EXPECT_EQ(pad.PAD(), "Tom");
  EXPECT_EQ(pad.Grp(), 2);
  ASSERT_EQ(pad.Count(), 1);
  EXPECT_EQ(pad.Item(1)->VelStart, 64);
  EXPECT_EQ(pad.Item(1)->key, "I0");
}

TEST_F(KitFileTest, LoadingEndsWithTheFileWhateverItsLineEnds) {
  f.sample("a.wav", 0.1f, 10);
  const std::string head = "vst samples,x," + f.folder() + ",VarnKit,";
  const std::string r1 = "1,0,0,36,K,a.wav,0,0,0,0,0,0,0,0,";
  const std::string r2 = "2,0,0,38,S,a.wav,0,0,0,0,0,0,0,0,";
  const std::pair<std::string, int> cases[] = {
      {head + "\r\n" + r1 + "\r\n" + r2 + "\r\n-1 by Ned's VarnKit", 2},
      {head + "\n" + r1 + "\n" + r2 + "\n", 2},  // no trailer: the line end follows the record
      {head + r1 + r2 + "trailer", 2},
      {head + "\r\n" + r1 + "\r\n" + r2, 1},  // the last record ends the file: not applied
      {head + "\t" + r1 + "\t\t" + r2 + "\t", 2},
  };
  for (const auto& [text, pads] : cases) {
    loadText(text);
    EXPECT_EQ(f.kit().Instrument(0).Count(), 1) << text;
    EXPECT_EQ(f.kit().Instrument(1).Count(), pads - 1) << text;
    EXPECT_EQ(f.kit().Instrument(1).PAD(), pads == 2 ? "S" : "xxx") << text;
  }
}

TEST_F(KitFileTest, TheSampleFolderIsAbsoluteOrBelowTheProgramFolder) {
  loadText("vst samples,x,set1,me,");
  EXPECT_EQ(f.kit().Samples, app("set1").string());
  loadText("vst samples,x,/srv/drums,me,");
  EXPECT_EQ(f.kit().Samples, "/srv/drums");
  loadText("vst samples,x,C:\\drums\\set1,me,");
  EXPECT_EQ(f.kit().Samples, "C:\\drums\\set1");
  loadText("vst samples,x,,me,");
  EXPECT_EQ(f.kit().Samples, app("").string());
}

TEST_F(KitFileTest, TabsInANameAreLostAndSpacesKept) {
  f.sample("my kick.wav", 0.1f, 10);
  loadText("vst samples,x," + f.folder() +
           ",VarnKit,1,0,0,36, Big\tKick ,my kick.wav,0,0,0,0,0,0,0,0,-1");
  EXPECT_EQ(f.kit().Instrument(0).PAD(), " BigKick ");
  EXPECT_EQ(f.kit().Instrument(0).Count(), 1);
}

TEST_F(KitFileTest, NamesAreNamesAndLetterCaseNeverMakesASecondKit) {
  buildRock();
  writeText(app("ab.txt"), "vst samples,");
  f.kit().Kitname = f.dialogs.nameBox = "a?";  // no pattern: ab.txt is not a?.txt
  f.kit().SaveKit();
  EXPECT_TRUE(f.dialogs.shown.empty());
  EXPECT_TRUE(fs::exists(app("a?.txt")));

  // ROCK.TXT is the kit ROCK: a save of Rock replaces it, and the question names it.
  writeText(app("ROCK.TXT"), "vst samples,");
  f.kit().Kitname = f.dialogs.nameBox = "Rock";
  f.dialogs.answers = {vbNo};
  f.kit().SaveKit();
  ASSERT_EQ(f.dialogs.shown.size(), 1u);
  EXPECT_EQ(f.dialogs.shown[0].prompt,
            "This will destroy your existing 'ROCK' Drumkit! Are you sure?");
  EXPECT_FALSE(fs::exists(app("Rock.txt")));
  EXPECT_EQ(bytesOf(app("ROCK.TXT")), "vst samples,");
  f.kit().SaveKit();  // Yes
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  EXPECT_FALSE(fs::exists(app("ROCK.TXT"))) << "the file the question named became Rock.txt";

  // Where Rock.txt and ROCK.txt both lie, a save of Rock replaces Rock.txt and nothing else.
  writeText(app("ROCK.txt"), "vst samples,ROCK,ROCK,VarnKit,");
  f.dialogs.shown.clear();
  f.kit().SaveKit();  // Yes
  ASSERT_EQ(f.dialogs.shown.size(), 1u);
  EXPECT_EQ(f.dialogs.shown[0].prompt,
            "This will destroy your existing 'Rock' Drumkit! Are you sure?");
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  EXPECT_EQ(bytesOf(app("ROCK.txt")), "vst samples,ROCK,ROCK,VarnKit,");

  // A kit file that names KICK1.WAV finds kick1.wav in its folder.
  std::string text = bytesOf(app("Rock.txt"));
  text.replace(text.find("kick1.wav"), 9, "KICK1.WAV");
  writeText(app("Rock.txt"), text);
  ASSERT_TRUE(f.kit().LoadKit(app("Rock.txt").string()));
  ASSERT_EQ(f.kit().Instrument(0).Count(), 2);
  EXPECT_EQ(f.kit().Instrument(0).Item(1)->filename, "kick1.wav");

  // A name with a zero byte in it names no file, not the file up to the zero.
  using namespace std::string_literals;
  text.replace(text.find("KICK1.WAV"), 9, "kick1.wav\0x"s);
  writeText(app("Rock.txt"), text);
  ASSERT_TRUE(f.kit().LoadKit(app("Rock.txt").string()));
  EXPECT_EQ(f.kit().Instrument(0).Count(), 1);
}

TEST_F(KitFileTest, AnOddRecordIsMadeToFitToldOfOnceAndEveryOtherPadLoads) {
  f.sample("a.wav", 0.1f, 10);
  const std::string head = "vst samples,x," + f.folder() + ",VarnKit,";
  const std::string good = "1,0,0,36,K,a.wav,0,0,0,0,0,0,0,0,";
  const std::string after = "3,0,0,40,L,a.wav,0,0,0,0,0,0,0,0,";
  struct Case {
    std::string record, told;
    int32_t key;  // pad 2's root key afterwards
  };
  for (const Case& c : {Case{"10,0,0,36,K,a.wav,0,0,0,0,0,0,0,0,", "pad 10 was skipped", 38},
                        Case{"0,0,0,36,K,a.wav,0,0,0,0,0,0,0,0,", "pad 0 was skipped", 38},
                        Case{"2,0,0,128,M,a.wav,0,0,0,0,0,0,0,0,", "Pad 2 (M)", 127},
                        Case{"2,0,0,-1,M,a.wav,0,0,0,0,0,0,0,0,", "Pad 2 (M)", 0}}) {
    f.dialogs.shown.clear();
    loadText(head + good + c.record + after + "end");
    EXPECT_FALSE(files::IsOpen(1));
    EXPECT_EQ(f.kit().Instrument(0).PAD(), "K");
    EXPECT_EQ(f.kit().Instrument(2).PAD(), "L") << "what comes after is loaded too";
    EXPECT_EQ(f.kit().Instrument(1).RootKey, c.key) << c.record;
    ASSERT_EQ(f.dialogs.shown.size(), 1u) << c.record;
    EXPECT_NE(f.dialogs.shown[0].prompt.find(c.told), std::string::npos)
        << f.dialogs.shown[0].prompt;
  }
  // A key pushed past 127 by the claims of other pads goes to the nearest free one below.
  f.dialogs.shown.clear();
  std::string text = head + "1,0,0,126,A,a.wav,0,0,0,0,0,0,0,0,2,0,0,127,B,a.wav,0,0,0,0,0,0,0,0,";
  text += "3,0,0,126,C,a.wav,0,0,0,0,0,0,0,0,3,0,0,126,C,a.wav,64,0,0,0,0,0,0,0,end";
  loadText(text);
  EXPECT_EQ(f.kit().Instrument(1).RootKey, 127);
  EXPECT_EQ(f.kit().Instrument(2).RootKey, 125);
  EXPECT_EQ(f.kit().Instrument(2).Count(), 2);
  ASSERT_EQ(f.dialogs.shown.size(), 1u);
  EXPECT_NE(f.dialogs.shown[0].prompt.find("Pad 3 (C) has the root key 125 instead of 126"),
            std::string::npos);
  EXPECT_EQ(f.dialogs.shown[0].prompt.find("Pad 3", f.dialogs.shown[0].prompt.find("Pad 3") + 1),
            std::string::npos)
      << "told once per pad";
}

TEST_F(KitFileTest, AFileThatCannotBeOpenedLeavesTheDefaultKit) {
  buildRock();
  EXPECT_THROW((void)f.kit().LoadKit(app("none.txt").string()), Error);
  EXPECT_EQ(f.kit().Instrument(0).Count(), 0);
  EXPECT_EQ(f.kit().Instrument(0).PAD(), "xxx");
  EXPECT_FALSE(files::IsOpen(1));
}

TEST_F(KitFileTest, UnsavedChangesAreOfferedForSavingBeforeALoad) {
  buildRock();
  f.state.kitChanged = true;
  f.dialogs.answers = {vbYes};
  loadText("vst samples,x,y,z,");
  ASSERT_GE(f.dialogs.shown.size(), 1u);
  EXPECT_EQ(f.dialogs.shown[0].prompt, "save changes?");
  EXPECT_EQ(f.dialogs.shown[0].buttons, vbYesNo);
  EXPECT_EQ(f.dialogs.shown[0].title, "VarnKit");
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  EXPECT_FALSE(f.state.kitChanged);

  buildRock();
  f.dialogs.shown.clear();
  f.state.kitChanged = true;
  f.dialogs.answers = {vbNo};
  fs::remove(app("Rock.txt"));
  loadText("vst samples,x,y,z,");
  EXPECT_FALSE(fs::exists(app("Rock.txt")));
  EXPECT_EQ(f.dialogs.shown.size(), 1u);

  // Yes, and then No to replacing the old file: the kit in memory is all there is of the
  // changes, so nothing is loaded over it.
  buildRock();
  f.kit().SaveKit();
  f.kit().Instrument(2).PAD("Changed");
  f.state.kitChanged = true;
  f.dialogs.answers = {vbYes, vbNo};
  writeText(app("t.txt"), "vst samples,x,y,z,");
  EXPECT_FALSE(f.kit().LoadKit(app("t.txt").string()));
  EXPECT_EQ(f.kit().Instrument(2).PAD(), "Changed");
  EXPECT_EQ(f.kit().Instrument(0).Count(), 2);
  EXPECT_TRUE(f.state.kitChanged);
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
}

TEST_F(KitFileTest, NamesTheFileCannotCarryAreRefusedAndNothingIsWritten) {
  buildRock();
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[&] { f.kit().Kitname = "Rock,Pop"; }, "'Rock,Pop'"},
      {[&] { f.kit().Kitname = "   "; }, "needs a name"},
      {[&] { f.kit().Kitname = "../Rock"; }, "'../Rock'"},
      {[&] { f.kit().Kitname = ".."; }, "'..'"},
      {[&] { f.kit().Instrument(2).PAD("Hi\that"); }, "'Hi\that'"},
      {[&] { f.kit().Instrument(0).Item(1)->filename = "kick,1.wav"; }, "'kick,1.wav'"},
      {[&] { f.kit().Kitname = ".x"; }, "'.x'"},
      {[&] { f.kit().Instrument(0).RootKey = 128; }, "Pad 1 (Kick) has the root key 128"},
      {[&] { f.kit().Instrument(2).RootKey = -1; }, "Pad 3 (Hat) has the root key -1"},
  };
  for (const auto& [spoil, named] : cases) {
    buildRock();
    spoil();
    f.dialogs.shown.clear();
    f.kit().SaveKit();
    ASSERT_EQ(f.dialogs.shown.size(), 1u) << named;
    EXPECT_NE(f.dialogs.shown[0].prompt.find(named), std::string::npos)
        << f.dialogs.shown[0].prompt;
    EXPECT_EQ(f.dialogs.shown[0].buttons, vbOKOnly | vbExclamation);
    f.kit().Clear();
  }
  EXPECT_TRUE(fs::is_empty(f.app.path()));
}

TEST_F(KitFileTest, TwoSamplesOfOneNameFromDifferentFoldersAreRefused) {
  buildRock();
  testing::TempDir other;
  testing::writeFile(other.path() / "hat.wav", testing::makeWav(testing::constant(0.9f, 10), {}));
  ASSERT_NE(f.kit().Instrument(5).add(0, 0, 0, "hat.wav", other.path().string()), nullptr);
  f.kit().SaveKit();
  ASSERT_EQ(f.dialogs.shown.size(), 1u);
  EXPECT_NE(f.dialogs.shown[0].prompt.find("'hat.wav'"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(f.app.path()));

  f.kit().Instrument(5).Clear(5, 47, "xxx", 0);
  f.kit().Instrument(6).add(0, 0, 0, "hat.wav", f.folder());  // the same file twice is fine
  f.kit().SaveKit();
  EXPECT_TRUE(fs::exists(app("Rock.txt")));
}

TEST_F(KitFileTest, SampleNamesThatLeaveTheKitFolderAreNotLoaded) {
  fs::create_directories(app("inner"));
  f.sample("a.wav", 0.1f, 10);
  testing::writeFile(app("secret.wav"), testing::makeWav(testing::constant(0.9f, 10), {}));
  loadText(
      "vst samples,x,inner,VarnKit,1,0,0,36,K,../secret.wav,0,0,0,0,0,0,0,0,"
      "2,0,0,38,S,..,0,0,0,0,0,0,0,0,3,0,0,42,H,.,0,0,0,0,0,0,0,0,end");
  for (int16_t i = 0; i < 3; ++i) EXPECT_EQ(f.kit().Instrument(i).Count(), 0) << i;
  EXPECT_EQ(f.kit().Instrument(0).PAD(), "K");
}

// Runs save with every file write past limit bytes failing; true when it raised.
bool saveWithFilesUpTo(Drumkit& kit, rlim_t limit) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit low = old;
  low.rlim_cur = limit;
  setrlimit(RLIMIT_FSIZE, &low);
  bool raised = false;
  try {
    kit.SaveKit();
  } catch (const Error&) {
    raised = true;
  }
  setrlimit(RLIMIT_FSIZE, &old);
  return raised;
}

// The same as on a full disk: every file write past 64 bytes fails.
bool saveOnAFullDisk(Drumkit& kit) {
  return saveWithFilesUpTo(kit, 64);
}

TEST_F(KitFileTest, ASaveThatFailsHalfwayLeavesTheOldKitFile) {
  buildRock();
  f.kit().SaveKit();
  ASSERT_TRUE(f.kit().LoadKit(app("Rock.txt").string()));  // the samples are in the kit folder now
  f.kit().Kitname = "Rock";
  f.kit().Instrument(4).PAD("Tom");
  f.kit().Instrument(4).add(0, 0, 0, "hat.wav", app("Rock").string());
  f.state.kitChanged = true;
  EXPECT_TRUE(saveOnAFullDisk(f.kit()));  // the kit file itself cannot be written
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  EXPECT_FALSE(fs::exists(app("Rock.txt.saving")));
  EXPECT_TRUE(f.state.kitChanged);
  EXPECT_FALSE(files::IsOpen(1));

  f.kit().Instrument(4).add(0, 0, 0, f.sample("big.wav", 0.5f, 1000), f.folder());
  EXPECT_TRUE(saveOnAFullDisk(f.kit()));  // a sample cannot be copied: no kit without it
  EXPECT_EQ(bytesOf(app("Rock.txt")), kRockText);
  EXPECT_FALSE(fs::exists(app("Rock") / "big.wav"));
}

// Every entry of folder, hidden ones too, with the bytes of each file ("<folder>" for folders).
std::map<std::string, std::string> entriesOf(const fs::path& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::directory_iterator(folder))
    entries[e.path().filename().string()] = e.is_directory() ? "<folder>" : bytesOf(e.path());
  return entries;
}

TEST_F(KitFileTest, ASaveThatFailsPartWayLeavesTheOldKitFileAndItsSamplesAsTheyWere) {
  buildRock();
  f.kit().SaveKit();
  const auto oldKit = entriesOf(f.app.path());
  const auto oldSamples = entriesOf(app("Rock"));
  // The new kit: the old sample names with other sounds, and one sample too big to copy.
  testing::TempDir other;
  auto sample = [&](const std::string& name, float value, uint64_t frames) {
    testing::writeFile(other.path() / name, testing::makeWav(testing::constant(value, frames), {}));
    return name;
  };
  f.kit().Clear();
  preset& kick = f.kit().Instrument(0);
  kick.PAD("New kick");
  ASSERT_NE(kick.add(0, 0, 0, sample("kick1.wav", 0.7f, 100), other.path().string()), nullptr);
  ASSERT_NE(kick.add(80, 0, 0, sample("kick2.wav", 0.8f, 100), other.path().string()), nullptr);
  preset& tom = f.kit().Instrument(4);
  ASSERT_NE(tom.add(0, 0, 0, sample("big.wav", 0.5f, 5000), other.path().string()), nullptr);
  f.state.kitChanged = true;

  EXPECT_TRUE(saveWithFilesUpTo(f.kit(), 4096));  // the disk fills at the third sample
  EXPECT_EQ(entriesOf(f.app.path()), oldKit);
  EXPECT_EQ(entriesOf(app("Rock")), oldSamples) << "the old kit file beside new sounds";
  EXPECT_TRUE(f.state.kitChanged);
  EXPECT_EQ(kick.Item(1)->path, other.path().string()) << "the layers still name their sources";

  // A sample that cannot be read any more since it was assigned: the same.
  fs::remove(other.path() / "big.wav");
  fs::create_directory(other.path() / "big.wav");
  EXPECT_THROW(f.kit().SaveKit(), Error);
  EXPECT_EQ(entriesOf(f.app.path()), oldKit);
  EXPECT_EQ(entriesOf(app("Rock")), oldSamples);

  // Saved under a new name, the failure leaves neither a kit file nor a kit folder.
  f.kit().Kitname = f.dialogs.nameBox = "Fresh";
  EXPECT_THROW(f.kit().SaveKit(), Error);
  EXPECT_EQ(entriesOf(f.app.path()), oldKit);

  // Once every sample can be copied, the new kit replaces the old one whole.
  fs::remove(other.path() / "big.wav");
  sample("big.wav", 0.5f, 5000);
  f.kit().Kitname = f.dialogs.nameBox = "Rock";
  f.kit().SaveKit();
  EXPECT_FALSE(f.state.kitChanged);
  const auto saved = entriesOf(app("Rock"));
  EXPECT_EQ(saved.size(), 4u) << "nothing left of the staging";
  for (const char* s : {"kick1.wav", "kick2.wav", "big.wav"})
    EXPECT_EQ(saved.at(s), bytesOf(other.path() / s)) << s;
  EXPECT_EQ(saved.at("hat.wav"), oldSamples.at("hat.wav")) << "a file the kit no longer uses stays";
  EXPECT_EQ(kick.Item(1)->path, app("Rock").string());
  EXPECT_NE(bytesOf(app("Rock.txt")).find("New kick"), std::string::npos);
}

// A kit built to meet every rule of the file at once comes back from its file as it was
// saved, and saving it again writes the same bytes.
TEST(KitFileRoundTrip, AKitOfEveryKindOfSampleAndNameComesBackWhole) {
  testing::KitFixture f;
  const std::string folder = f.folder();
  auto wav = [&](const std::string& name, std::vector<float> samples, testing::WavSpec spec) {
    testing::writeFile(f.audio.dir.path() / name, testing::makeWav(samples, spec));
    return name;
  };
  std::vector<float> quad(4 * 100, 0.1f);
  Drumkit& kit = f.kit();
  kit.Kitname = f.dialogs.nameBox = "Caf\xe9 Kit";
  struct PadSpec {
    const char* name;
    int32_t key;
    int group;
    std::vector<std::pair<int32_t, std::string>> layers;
  };
  const PadSpec pads[] = {
      {"Kick \xe9",
       36,
       0,
       {{0, wav("Kick.WAV", testing::constant(0.2f, 50), {})},
        {90, wav("kick hard.wav", testing::constant(0.4f, 50), {})}}},
      {"Quad", 127, 1, {{0, wav("quad.wav", quad, {44100, 4})}}},
      {"Hi", 127, 2, {{0, wav("hi 192.wav", testing::constant(0.3f, 960), {192000, 1})}}},
      {"Lo", 0, 1, {{0, wav("lo 8k.wav", testing::constant(0.3f, 40), {8000, 2})}}},
      {"Snare", 38, 0, {{0, "Snare.FLAC"}}},
  };
  testing::writeSoundFile(f.audio.dir.path() / "Snare.FLAC", testing::constant(0.25f, 70), {},
                          SF_FORMAT_FLAC | SF_FORMAT_PCM_24);
  for (int16_t i = 0; i < 5; ++i) {
    preset& pad = kit.Instrument(i);
    pad.PAD(pads[i].name);
    pad.RootKey = pads[i].key;
    pad.Grp(pads[i].group);
    for (const auto& [vel, file] : pads[i].layers)
      ASSERT_NE(pad.add(vel, 0, 0, file, folder), nullptr);
  }
  EXPECT_EQ(f.caption.captions.size(), 0u) << "every sample makes a buffer";
  kit.SaveKit();
  const fs::path file = f.app.path() / "Caf\xe9 Kit.txt";
  const std::string first = bytesOf(file);
  const fs::path copied = f.app.path() / "Caf\xe9 Kit" / "Snare.FLAC";
  EXPECT_EQ(bytesOf(copied), bytesOf(f.audio.dir.path() / "Snare.FLAC"));

  ASSERT_TRUE(kit.LoadKit(file.string()));
  kit.Kitname = "Caf\xe9 Kit";
  const audio::SoundBuffer* snare = kit.Instrument(4).Item(1)->buffer();
  ASSERT_NE(snare, nullptr);
  EXPECT_EQ(snare->frames(), 70u);
  for (int16_t i = 0; i < 5; ++i) {
    preset& pad = kit.Instrument(i);
    EXPECT_EQ(pad.PAD(), pads[i].name);
    EXPECT_EQ(pad.Grp(), pads[i].group);
    ASSERT_EQ(pad.Count(), int32_t(pads[i].layers.size())) << i;
    for (std::size_t l = 0; l < pads[i].layers.size(); ++l) {
      EXPECT_EQ(pad.Item(int32_t(l + 1))->filename, pads[i].layers[l].second);
      EXPECT_EQ(pad.Item(int32_t(l + 1))->VelStart, pads[i].layers[l].first);
    }
  }
  // Two pads at 127: the loader keeps the first there and moves the second just below.
  EXPECT_EQ(kit.Instrument(1).RootKey, 127);
  EXPECT_EQ(kit.Instrument(2).RootKey, 126);
  kit.SaveKit();
  const std::string second = bytesOf(file);
  std::string expected = first;
  const std::string hiAt127 = "3,0,0,\t127,Hi,";
  expected.replace(expected.find(hiAt127), hiAt127.size(), "3,0,0,\t126,Hi,");
  EXPECT_EQ(second, expected);
  ASSERT_TRUE(kit.LoadKit(file.string()));
  kit.Kitname = "Caf\xe9 Kit";
  kit.SaveKit();
  EXPECT_EQ(bytesOf(file), second);
}

}  // namespace
}  // namespace varnkit
