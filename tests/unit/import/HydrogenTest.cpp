#include <gtest/gtest.h>

#include "import/Hydrogen.h"
#include "tests/support/WavWriter.h"
#include "tests/unit/import/TestArchive.h"

namespace varnkit::import {
namespace {

namespace fs = std::filesystem;
using testing::describe;
using testing::writeSample;
using testing::writeText;

// A kit as a recent Hydrogen saves it: three microphone components, of which the first
// listed (id 0) is kept even where an instrument lists another first.
const char* const kStudioKit = R"(<?xml version="1.0" encoding="UTF-8"?>
<drumkit_info xmlns="http://www.hydrogen-music.org/drumkit">
 <name>Studio Kit</name>
 <componentList>
  <drumkitComponent><id>0</id><name>Close</name></drumkitComponent>
  <drumkitComponent><id>1</id><name>Room</name></drumkitComponent>
  <drumkitComponent><id>2</id><name>Overhead</name></drumkitComponent>
 </componentList>
 <instrumentList>
  <instrument>
   <id>0</id><name>Kick</name><midiOutNote>36</midiOutNote><muteGroup>-1</muteGroup>
   <pan>0</pan><Attack>0</Attack><Decay>0</Decay><Sustain>1</Sustain><Release>1000</Release>
   <filterActive>false</filterActive><gain>1</gain><pitchOffset>0</pitchOffset>
   <instrumentComponent><component_id>1</component_id>
    <layer><filename>room/kick.wav</filename><min>0</min><max>1</max></layer>
   </instrumentComponent>
   <instrumentComponent><component_id>0</component_id><gain>1</gain>
    <layer><filename>kick soft.wav</filename><min>0</min><max>0.5</max><gain>1</gain><pitch>0</pitch></layer>
    <layer><filename>Kick/HARD.wav</filename><min>0.5</min><max>1.5</max></layer>
   </instrumentComponent>
  </instrument>
  <instrument>
   <id>1</id><name>Closed Hat</name><midiOutNote>42</midiOutNote><muteGroup>1</muteGroup>
   <pan>-0.5</pan>
   <instrumentComponent><component_id>0</component_id>
    <layer><filename>hat closed.wav</filename><min>0</min><max>1</max><pitch>1.5</pitch></layer>
   </instrumentComponent>
  </instrument>
  <instrument>
   <id>2</id><name>Open Hat</name><midiOutNote>46</midiOutNote><muteGroup>1</muteGroup>
   <Attack>10</Attack><filterActive>true</filterActive>
   <instrumentComponent><component_id>2</component_id>
    <layer><filename>hat open.wav</filename></layer>
   </instrumentComponent>
  </instrument>
  <instrument><id>3</id><name>Cowbell</name><midiOutNote>56</midiOutNote>
   <instrumentComponent><component_id>0</component_id></instrumentComponent>
  </instrument>
  <instrument><id>4</id><name>Shaker</name><midiOutNote>300</midiOutNote>
   <instrumentComponent><component_id>0</component_id>
    <layer><filename>shaker.wav</filename><min>0.8</min><max>0.2</max><gain>0.5</gain></layer>
   </instrumentComponent>
  </instrument>
 </instrumentList>
</drumkit_info>
)";

class HydrogenTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  fs::path kit = dir.path() / "Studio";
  fs::path scratch = dir.path() / "scratch";

  void SetUp() override {
    for (const char* sample : {"room/kick.wav", "kick soft.wav", "kick/hard.wav", "hat closed.wav",
                               "hat open.wav", "shaker.wav"})
      writeSample(kit / sample);
  }

  // The kit's sample list with one filename replaced.
  ReadResult readWith(const std::string& from, const std::string& to) {
    std::string xml = kStudioKit;
    xml.replace(xml.find(from), from.size(), to);
    writeText(kit / "drumkit.xml", xml);
    return ReadHydrogenKit(kit, scratch);
  }
};

TEST_F(HydrogenTest, ANewKitKeepsTheFirstComponentWithItsLayersAndMuteGroups) {
  writeText(kit / "drumkit.xml", kStudioKit);
  const std::string expected =
      "Studio Kit\n"
      "Kick|36||-|0-64 kick soft.wav|64-127 kick/hard.wav\n"
      "Closed Hat|42|mute1|pitch,pan|0-127 hat closed.wav\n"
      "Open Hat|46|mute1|envelope,filter|0-127 hat open.wav\n"
      "Shaker|-||gain|25-102 shaker.wav\n"
      "left out: 2 components beyond the first; instruments without samples: Cowbell\n";
  for (const fs::path& source : {kit, kit / "drumkit.xml"}) {
    const ReadResult read = ReadHydrogenKit(source, scratch);
    ASSERT_TRUE(read.kit) << read.error;
    EXPECT_EQ(describe(*read.kit), expected);
    EXPECT_EQ(read.kit->folder, fs::canonical(kit));
  }
}

TEST_F(HydrogenTest, AnOldKitWithLayersOrAFileInTheInstrument) {
  writeText(kit / "drumkit.xml", R"(<drumkit_info><name>Old</name><instrumentList>
    <instrument><name>Snare</name><volume>0.8</volume>
     <layer><filename>kick soft.wav</filename><min>0.0</min><max>0.6</max></layer>
     <layer><filename>shaker.wav</filename><min>0.6</min><max>1.0</max></layer></instrument>
    <instrument><name>Tom</name><filename>hat open.wav</filename>
     <pan_L>1.0</pan_L><pan_R>0.5</pan_R></instrument>
    <instrument><name>Quiet</name><filename>hat closed.wav</filename>
     <pan_L>0.5</pan_L><pan_R>0.5</pan_R></instrument>
  </instrumentList></drumkit_info>)");
  const ReadResult read = ReadHydrogenKit(kit / "drumkit.xml", scratch);
  ASSERT_TRUE(read.kit) << read.error;
  EXPECT_EQ(describe(*read.kit),
            "Old\n"
            "Snare|-||gain|0-76 kick soft.wav|76-127 shaker.wav\n"
            "Tom|-||pan|0-127 hat open.wav\n"
            "Quiet|-||gain|0-127 hat closed.wav\n");
}

TEST_F(HydrogenTest, AnArchivedKitIsUnpackedIntoTheScratchFolder) {
  const fs::path archive = dir.path() / "Studio.h2drumkit";
  testing::writeArchive(archive,
                        {{"Studio Kit/", "", AE_IFDIR},
                         {"Studio Kit/drumkit.xml", R"(<drumkit_info><name>Packed</name>
                           <instrumentList><instrument><name>Clap</name>
                           <midiOutNote>39</midiOutNote><muteGroup>0</muteGroup>
                           <layer><filename>clap.wav</filename></layer>
                           </instrument></instrumentList></drumkit_info>)"},
                         {"Studio Kit/clap.wav", "RIFF...."}},
                        testing::Packing::TarGz);
  const ReadResult read = ReadHydrogenKit(archive, scratch);
  ASSERT_TRUE(read.kit) << read.error;
  EXPECT_EQ(describe(*read.kit), "Packed\nClap|39|mute0|-|0-127 clap.wav\n");
  EXPECT_EQ(read.kit->folder, fs::canonical(scratch / "Studio Kit"));
}

TEST_F(HydrogenTest, ABrokenOrHostileKitIsRefusedWithTheReason) {
  fs::create_directories(dir.path() / "elsewhere");
  writeSample(dir.path() / "elsewhere/outside.wav");
  fs::create_symlink(dir.path() / "elsewhere/outside.wav", kit / "linked.wav");
  const struct {
    std::string from, to, why;
  } cases[] = {
      {"<name>Studio Kit</name>", "<name>Studio Kit</nam>", "not well-formed XML"},
      {"</instrumentList>", "", "(line 45)"},
      {"kick soft.wav", "kick gone.wav", "The sample \"kick gone.wav\" of \"Kick\" is missing."},
      {"hat open.wav", "../elsewhere/outside.wav",
       "\"../elsewhere/outside.wav\" of \"Open Hat\" "
       "lies outside the kit's folder."},
      {"hat open.wav", "linked.wav", "\"linked.wav\" of \"Open Hat\" lies outside"},
      {"hat open.wav", (kit / "hat open.wav").string(), "lies outside"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.to);
    const ReadResult read = readWith(c.from, c.to);
    EXPECT_FALSE(read.kit);
    EXPECT_NE(read.error.find(c.why), std::string::npos) << read.error;
  }
  writeText(kit / "drumkit.xml",
            "<drumkit_info><instrumentList><instrument><name>Bell"
            "</name></instrument></instrumentList></drumkit_info>");
  EXPECT_EQ(ReadHydrogenKit(kit, scratch).error,
            "The Hydrogen kit has no instrument with samples.");
  writeText(kit / "drumkit.xml", "<song><name>A song, not a kit</name></song>");
  EXPECT_EQ(ReadHydrogenKit(kit, scratch).error,
            "The file is not a Hydrogen drumkit: it has no drumkit_info.");
  writeText(dir.path() / "noise.h2drumkit", "\x1f\x8b garbage that is not gzip");
  const ReadResult read = ReadHydrogenKit(dir.path() / "noise.h2drumkit", scratch);
  EXPECT_FALSE(read.kit);
  EXPECT_NE(read.error.find("\"noise.h2drumkit\" cannot be unpacked: "), std::string::npos)
      << read.error;
}

}  // namespace
}  // namespace varnkit::import
