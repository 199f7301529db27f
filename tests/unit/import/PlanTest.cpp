#include "import/Plan.h"

#include <gtest/gtest.h>

namespace varnkit::import {
namespace {

SourceInstrument instrument(std::string name, std::optional<int> note,
                            std::vector<std::pair<int, std::string>> layers,
                            std::string choke = "") {
  SourceInstrument in;
  in.name = std::move(name);
  in.note = note;
  in.chokeGroup = std::move(choke);
  for (auto& [vel, file] : layers) in.layers.push_back({vel, 127, "/src/" + file});
  return in;
}

std::string names(const ImportPlan& plan) {
  std::string out;
  for (const auto& pad : plan.pads) out += (pad ? pad->name : "-") + "|";
  return out;
}

TEST(ImportPlan, FillsTheNineDrumsByNoteThenNameAndKeepsGroupsLayersAndWhatWasLeft) {
  SourceKit kit;
  kit.name = "Studio, \"Live\"";
  kit.instruments = {
      instrument("BD2", 35, {{0, "bd2/1.wav"}}),
      instrument("Kick A", 36,
                 {{100, "kick/3.wav"}, {0, "kick/1.wav"}, {0, "kick/1b.wav"}, {64, "kick/2.wav"}}),
      instrument("Cowbell", 56, {{0, "cb.wav"}}),
      instrument("HH Open", 46, {{0, "hho.wav"}}, "mute1"),
      instrument("Snare", std::nullopt, {{0, "snare/1.wav"}}),
      instrument("Floor Tom", std::nullopt, {{0, "ft.wav"}}),
      instrument("Tom 2", std::nullopt, {{0, "t2.wav"}}),
      instrument("Tom 1", std::nullopt, {{0, "t1.wav"}}),
      instrument("Crash", 49, {{0, "Crash.wav"}}, "mute2"),
      instrument("Crash 2", 57, {{0, "crash.WAV"}}, "mute2"),
      instrument("Closed\tHat", std::nullopt, {{0, "hhc.wav"}}, "mute1"),
      instrument("Ride", 51, {{0, "ride.wav"}}),
      instrument("Empty", 40, {}),
  };
  const ImportPlan plan = PlanImport(kit);
  EXPECT_EQ(plan.kitName, "Studio   Live");
  EXPECT_EQ(names(plan), "Kick A|Snare|Closed Hat|HH Open|Tom 1|Tom 2|Floor Tom|Crash|Ride|");
  const int keys[9] = {36, 38, 42, 46, 50, 47, 43, 49, 51};
  const int groups[9] = {0, 0, 1, 1, 0, 0, 0, 2, 0};
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(plan.pads[i]->rootKey, keys[i]) << i;
    EXPECT_EQ(plan.pads[i]->group, groups[i]) << i;
  }
  // One layer per velocity, lowest first; the alternative at 0 is dropped and reported.
  const auto& kick = plan.pads[0]->layers;
  ASSERT_EQ(kick.size(), 3u);
  EXPECT_EQ(kick[0].velStart, 0);
  EXPECT_EQ(kick[0].fileName, "1.wav");
  EXPECT_EQ(kick[2].velStart, 100);
  EXPECT_EQ(plan.pads[1]->layers[0].fileName, "1-2.wav");  // snare/1.wav meets kick/1.wav
  EXPECT_EQ(plan.pads[7]->sourceName, "Crash");
  const std::string summary = Summary(plan);
  EXPECT_NE(summary.find("Pad 1: Kick A from 'Kick A', 3 layers, note 36"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("3 instruments beyond nine: BD2, Cowbell, Crash 2"), std::string::npos)
      << summary;
  EXPECT_NE(summary.find("1 alternative samples"), std::string::npos) << summary;
}

TEST(ImportPlan, ASmallKitFillsPadsInOrderWithNotesThatDoNotClash) {
  SourceKit kit;
  kit.name = "..";
  kit.instruments = {instrument("Clap", std::nullopt, {{0, "A.wav"}}),
                     instrument("Kick", std::nullopt, {{0, "a.wav"}}),
                     instrument("Perc", 60, {{0, "p.wav"}}, "sfz1"),
                     instrument("Perc 2", std::nullopt, {{0, "p2.wav"}})};
  const ImportPlan plan = PlanImport(kit, "My Kit");
  EXPECT_EQ(plan.kitName, "My Kit");
  EXPECT_EQ(PlanImport(kit).kitName, "Imported kit");
  EXPECT_EQ(names(plan), "Kick|Clap|Perc|Perc 2|-|-|-|-|-|");
  EXPECT_EQ(plan.pads[0]->rootKey, 36);
  EXPECT_EQ(plan.pads[1]->rootKey, 61);  // 60 is Perc's own
  EXPECT_EQ(plan.pads[2]->rootKey, 60);
  EXPECT_EQ(plan.pads[3]->rootKey, 62);
  EXPECT_EQ(plan.pads[2]->group, 1);
  EXPECT_EQ(plan.pads[0]->layers[0].fileName, "a.wav");
  EXPECT_EQ(plan.pads[1]->layers[0].fileName, "A-2.wav");  // one file to a case-blind lookup
}

}  // namespace
}  // namespace varnkit::import
