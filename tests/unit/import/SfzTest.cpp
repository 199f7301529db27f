#include <gtest/gtest.h>

#include <chrono>

#include "import/Sfz.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/import/TestArchive.h"

namespace varnkit::import {
namespace {

namespace fs = std::filesystem;
using testing::describe;
using testing::writeSample;
using testing::writeText;

class SfzTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  fs::path kit = dir.path() / "Kit";

  ReadResult read(const std::string& text) {
    writeText(kit / "main.sfz", text);
    return ReadSfz(kit / "main.sfz");
  }
};

TEST_F(SfzTest, OpcodesInheritDownToTheRegionAndDirectivesAreFollowed) {
  for (const char* sample :
       {"Samples/kick/soft one.wav", "Samples/kick/hard one.wav", "Samples/snare rim.wav",
        "Samples/snare.wav", "Samples/hats/closed.wav", "Samples/hats/pedal.wav"})
    writeSample(kit / sample);
  writeText(kit / "parts/hats.sfz",
            "<group> // hats start afresh\n"
            "<region> sample=$HATS/closed.wav key=$HAT\n"
            "<region> sample=$HATS/pedal.wav key=ab2 pitch_keycenter=60\n");
  const ReadResult result = read(
      "/* A kit written by hand,\n   over <several> lines */\n"
      "<control> default_path=Samples\\ // where the samples are\n"
      "#define $KICK 36\n"
      "#define $HAT f#2\n"
      "#define $HATS hats\n"
      "<global> ampeg_release=0.4\n"
      "<master> master_label=Kick ampeg_release=0\n"
      "<group> key=$KICK hivel=64\n"
      "<region> sample=kick\\soft one.wav lovel=1\n"
      "<group> key=$KICK lovel=65\r\n"
      "<region>sample=kick\\hard one.wav\r\n"
      "<master>\n"
      "<region> sample=snare rim.wav key=C#2\n"
      "<group> group_label=Snare volume=-6\n"
      "<region> sample=snare.wav key=d2 pan=10\n"
      "#include \"parts/hats.sfz\"\n");
  ASSERT_TRUE(result.kit) << result.error;
  EXPECT_EQ(describe(*result.kit),
            "main\n"
            "Kick|36||-|1-64 Samples/kick/soft one.wav|65-127 Samples/kick/hard one.wav\n"
            "snare rim|37||envelope|1-127 Samples/snare rim.wav\n"
            "Snare|38||pan,envelope,volume|1-127 Samples/snare.wav\n"
            "closed|42||envelope|1-127 Samples/hats/closed.wav\n"
            "pedal|44||pitch,envelope|1-127 Samples/hats/pedal.wav\n");
  EXPECT_EQ(result.kit->folder, fs::canonical(kit));
}

TEST_F(SfzTest, OffByJoinsChokeGroupsAndAlternativesAllStay) {
  for (const char* sample : {"open1.wav", "open2.wav", "closed.wav", "closed b.wav", "pedal.wav",
                             "crash.wav", "grab.wav", "Tom.WAV"})
    writeSample(kit / sample);
  const ReadResult result = read(
      "<group> group=10 off_by=20 group_label=Open Hat\n"
      "<region> sample=open1.wav key=46 seq_length=2 seq_position=1\n"
      "<region> sample=open2.wav key=46 seq_length=2 seq_position=2\n"
      "<group> group=20 group_label=Closed Hat\n"
      "<region> sample=closed.wav key=42 lorand=0 hirand=0.5\n"
      "<region> sample=closed b.wav key=42 lorand=0.5 hirand=1\n"
      "<group> group=30 off_by=20\n"
      "<region> sample=pedal.wav key=44 region_label=Pedal\n"
      "<group> group=50 off_by=60\n"
      "<region> sample=crash.wav key=49 cutoff=500 fil_type=lpf_2p group_label=Crash\n"
      "<group> group=60 <region> sample=grab.wav key=50\n"
      "<group> group=5\n"
      "<region> sample=tom.wav lokey=45 hikey=48 pitch_keycenter=47 offset=100\n"
      "<region> sample=*sine key=60 amp_velcurve_127=1\n"
      "<region> sample=tom.wav key=57 trigger=release\n"
      "<region> sample=tom.wav key=58 lovel=100 hivel=20\n"
      "<effect> type=reverb\n<curve> v000=0\n<foo> bar=1\n<sample> name=x.wav\n");
  ASSERT_TRUE(result.kit) << result.error;
  EXPECT_EQ(describe(*result.kit),
            "main\n"
            "Open Hat|46|sfz10|-|1-127 open1.wav|1-127 open2.wav\n"
            "Closed Hat|42|sfz10|-|1-127 closed.wav|1-127 closed b.wav\n"
            "Pedal|44|sfz10|-|1-127 pedal.wav\n"
            "Crash|49|sfz50|filter|1-127 crash.wav\n"
            "grab|50|sfz50|-|1-127 grab.wav\n"
            "tom|47||-|1-127 Tom.WAV\n"
            "left out: generated sounds: *sine; 1 region played on release; 1 region that no "
            "key plays; unknown opcodes: offset, amp_velcurve_127; unknown headers: <foo>; "
            "samples embedded in the file\n");
}

TEST_F(SfzTest, AnIncludeLoopIsCutButWhatLeavesTheFolderOrIsMissingIsRefused) {
  writeSample(kit / "kick.wav");
  writeSample(dir.path() / "outside.wav");
  writeText(dir.path() / "outside.sfz", "<region> sample=Kit/kick.wav key=36\n");
  writeText(kit / "again.sfz", "#include \"main.sfz\"\n");
  const ReadResult looped = read("<region> sample=kick.wav key=36\n#include \"again.sfz\"\n");
  ASSERT_TRUE(looped.kit) << looped.error;
  EXPECT_EQ(describe(*looped.kit),
            "main\nkick|36||-|1-127 kick.wav\n"
            "left out: an #include loop through \"main.sfz\"\n");

  const struct {
    std::string text, why;
  } cases[] = {
      {"#include \"../outside.sfz\"", "The #include \"../outside.sfz\" leads out of the kit's"},
      {"#include \"gone.sfz\"", "The #include file \"gone.sfz\" is missing"},
      {"<region> sample=..\\outside.wav key=1", "\"../outside.wav\" lies outside the kit's"},
      {"<control> default_path=../\n<region> sample=outside.wav", "lies outside"},
      {"<region> sample=gone.wav key=36", "The sample \"gone.wav\" is missing."},
      {"// nothing but a comment <region> sample=kick.wav", "no region with a sample"},
      {"<region> sample=kick.wav hikey=-1", "no region with a sample"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const ReadResult result = read(c.text);
    EXPECT_FALSE(result.kit);
    EXPECT_NE(result.error.find(c.why), std::string::npos) << result.error;
  }
}

// A hostile file: a <global> of thousands of opcodes, and each region after a header of its
// own, so that a reader that applies what regions inherit once per region takes half a minute.
TEST_F(SfzTest, ThousandsOfInheritedOpcodesOverManyRegionsAreReadAtOnce) {
  std::string text = "<global> sample=kick.wav key=36 ampeg_release=0.5\n";
  for (int i = 0; i < 1000; ++i)
    text += "ampeg_attack_oncc" + std::to_string(i) + "=0 loop_mode=no_loop volume=0\n";
  // The groups play the snare without the release; <master> ends the group.
  const char* headers[] = {"<group> key=38 ampeg_release=0", "<master>", "<control>", "<effect>"};
  for (int i = 0; i < 20000; ++i) text += std::string(headers[i % 4]) + "<region>\n";
  const auto start = std::chrono::steady_clock::now();
  const ReadResult result =
      ParseSfz(text, "/kits/Hostile/main.sfz", [](const fs::path&) { return IncludedText{}; });
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  EXPECT_LT(took.count(), 2.0);  // a reader quadratic in the opcodes takes tens of seconds
  ASSERT_TRUE(result.kit) << result.error;
  ASSERT_EQ(result.kit->instruments.size(), 2u);
  const SourceInstrument &snare = result.kit->instruments[0], &kick = result.kit->instruments[1];
  EXPECT_EQ(snare.note, 38);
  EXPECT_EQ(snare.layers.size(), 5000u);
  EXPECT_TRUE(snare.leftOut.empty());
  EXPECT_EQ(kick.note, 36);
  EXPECT_EQ(kick.layers.size(), 15000u);
  EXPECT_EQ(kick.leftOut, std::vector<std::string>{"envelope"});
}

}  // namespace
}  // namespace varnkit::import
