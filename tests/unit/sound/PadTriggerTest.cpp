#include <gtest/gtest.h>

#include <cmath>

#include "sound/PadTrigger.h"
#include "tests/support/KitFixture.h"

namespace varnkit {
namespace {

using testing::pcm16;

// Each layer holds its own constant, so the output tells which layer sounds and how loud.
class PadTriggerTest : public ::testing::Test {
 protected:
  Layer* layer(int16_t pad, int32_t velStart, float value) {
    const std::string name = "p" + std::to_string(pad) + "v" + std::to_string(velStart) + ".wav";
    return f.kit().Instrument(pad).add(velStart, 0, 0, f.sample(name, value), f.folder());
  }
  // The output level a little after the hit (past any fade of what it stopped).
  float heard() { return f.audio.left(200)[150]; }
  static float at(float value, int16_t vel) {
    return pcm16(value) * std::pow(10.0f, float(Layer::levelOf(vel)) / 2000.0f);
  }

  testing::KitFixture f;
};

TEST_F(PadTriggerTest, APadWithOneLayerPlaysItAtEveryVelocity) {
  layer(0, 0, 0.5f);
  for (int16_t vel : {0, 1, 64, 126, 127}) {
    PlayPad(f.state, 0, vel);
    EXPECT_NEAR(heard(), at(0.5f, vel), 1e-6) << vel;
  }
}

TEST_F(PadTriggerTest, TheVelocityPicksTheLayerWhoseRangeHoldsIt) {
  layer(1, 0, 0.2f);
  layer(1, 64, 0.6f);
  PlayPad(f.state, 1, 63);
  EXPECT_NEAR(heard(), at(0.2f, 63), 1e-6);
  PlayPad(f.state, 1, 64);
  EXPECT_NEAR(heard(), at(0.6f, 64), 1e-6);  // and the first layer was stopped
  PlayPad(f.state, 1, 127);
  EXPECT_NEAR(heard(), at(0.6f, 127), 1e-6);
}

TEST_F(PadTriggerTest, OverlappingRangesPlayTheFirstLayerInCollectionOrder) {
  layer(2, 50, 0.3f);
  f.kit().Instrument(2).add(50, 0, 0, f.sample("twin.wav", 0.7f), f.folder());
  PlayPad(f.state, 2, 127);
  EXPECT_NEAR(heard(), at(0.3f, 127), 1e-6);
}

TEST_F(PadTriggerTest, AVelocityBelowEveryLayerPlaysNothingButStillStopsThePadAndItsGroup) {
  layer(3, 40, 0.3f);
  layer(4, 0, 0.2f);
  f.kit().Instrument(3).Grp(1);
  f.kit().Instrument(4).Grp(1);
  PlayPad(f.state, 4, 127);
  PlayPad(f.state, 3, 127);  // stops pad 4, its group mate
  EXPECT_NEAR(heard(), at(0.3f, 127), 1e-6);
  PlayPad(f.state, 3, 20);
  EXPECT_EQ(heard(), 0.0f);
}

TEST_F(PadTriggerTest, AGroupHitSilencesItsGroupOnly) {
  layer(0, 0, 0.1f);   // group 1
  layer(1, 0, 0.2f);   // group 1
  layer(2, 0, 0.3f);   // group 2
  layer(5, 0, 0.05f);  // no group
  f.kit().Instrument(0).Grp(1);
  f.kit().Instrument(1).Grp(1);
  f.kit().Instrument(2).Grp(2);
  for (int16_t pad : {0, 2, 5}) PlayPad(f.state, pad, 127);
  EXPECT_NEAR(heard(), pcm16(0.1f) + pcm16(0.3f) + pcm16(0.05f), 1e-5);
  PlayPad(f.state, 1, 127);
  EXPECT_NEAR(heard(), pcm16(0.2f) + pcm16(0.3f) + pcm16(0.05f), 1e-5);
  PlayPad(f.state, 5, 127);  // ungrouped: only itself is restarted
  EXPECT_NEAR(heard(), pcm16(0.2f) + pcm16(0.3f) + pcm16(0.05f), 1e-5);
}

TEST_F(PadTriggerTest, ARetriggerRestartsThePadFromItsBeginning) {
  std::vector<float> rampUp(44100);
  for (std::size_t i = 0; i < rampUp.size(); ++i) rampUp[i] = 0.9f * float(i) / 44100.0f;
  testing::writeFile(f.audio.dir.path() / "ramp.wav", testing::makeWav(rampUp, {}));
  f.kit().Instrument(6).add(0, 0, 0, "ramp.wav", f.folder());
  PlayPad(f.state, 6, 127);
  f.audio.left(5000);
  PlayPad(f.state, 6, 127);
  const auto out = f.audio.left(200);
  EXPECT_NEAR(out[150], pcm16(rampUp[150]), 1e-6);
}

TEST_F(PadTriggerTest, StopPadSilencesEveryLayerOfThePad) {
  layer(7, 0, 0.4f);
  layer(8, 0, 0.1f);
  PlayPad(f.state, 7, 127);
  PlayPad(f.state, 8, 127);
  f.audio.left(100);
  StopPad(f.state, 7);
  EXPECT_NEAR(heard(), pcm16(0.1f), 1e-6);
}

}  // namespace
}  // namespace varnkit
