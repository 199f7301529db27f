#include <gtest/gtest.h>

#include "platform/Error.h"
#include "tests/support/KitFixture.h"

namespace varnkit {
namespace {

using testing::KitFixture;
using testing::pcm16;

int errorNumber(const std::function<void()>& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

TEST(Layer, LevelRunsLinearlyFromMinus40DbAndRoundsDown) {
  const std::pair<int16_t, int32_t> table[] = {{0, -4000},  {1, -3969},  {2, -3938},  {16, -3497},
                                               {32, -2993}, {63, -2016}, {64, -1985}, {100, -851},
                                               {126, -32},  {127, 0}};
  for (auto [vol, level] : table) EXPECT_EQ(Layer::levelOf(vol), level) << vol;
}

TEST(Layer, VelocityRangeEndsBelowTheNextHigherLayer) {
  KitFixture f;
  preset& pad = f.kit().Instrument(0);
  Layer* only = pad.add(0, 0, 0, f.sample("a.wav", 0.1f), f.folder());
  EXPECT_EQ(only->velEnd(), 127);
  Layer* high = pad.add(90, 0, 0, f.sample("c.wav", 0.3f), f.folder());
  Layer* mid = pad.add(40, 0, 0, f.sample("b.wav", 0.2f), f.folder());
  EXPECT_EQ(only->velEnd(), 39);
  EXPECT_EQ(mid->velEnd(), 89);
  EXPECT_EQ(high->velEnd(), 127);

  preset& twins = f.kit().Instrument(1);
  Layer* one = twins.add(50, 0, 0, "a.wav", f.folder());
  Layer* two = twins.add(50, 0, 0, "b.wav", f.folder());
  twins.add(127, 0, 0, "c.wav", f.folder());  // 127 < 127 fails: shortens nothing
  EXPECT_EQ(one->velEnd(), 127);
  EXPECT_EQ(two->velEnd(), 127);
}

TEST(Layer, AMissingFileMakesNoLayerAndARejectedFileFallsBackToPlainPlayback) {
  KitFixture f;
  preset& pad = f.kit().Instrument(3);
  EXPECT_EQ(pad.add(0, 0, 0, "missing.wav", f.folder()), nullptr);
  EXPECT_EQ(pad.Count(), 0);
  EXPECT_TRUE(f.caption.captions.empty());

  testing::writeFile(f.audio.dir.path() / "junk.wav", {'j', 'u', 'n', 'k'});
  Layer* junk = pad.add(0, 0, 0, "junk.wav", f.folder());
  ASSERT_NE(junk, nullptr);
  EXPECT_TRUE(junk->playNorm);
  EXPECT_EQ(junk->buffer(), nullptr);
  EXPECT_EQ(pad.Count(), 1);
  ASSERT_EQ(f.caption.captions.size(), 1u);
  EXPECT_EQ(f.caption.captions.back(), "VarnKit - x");

  Layer* good = pad.add(0, 0, 0, f.sample("good.wav", 0.5f), f.folder());
  EXPECT_FALSE(good->playNorm);
  EXPECT_NE(good->buffer(), nullptr);
}

TEST(Layer, APlainModeLayerPlaysAtFullLevelAndItsStopSilencesAnyPreview) {
  KitFixture f;
  f.state.setSoundDevice(nullptr);  // no buffers can be made: every layer goes plain
  preset& pad = f.kit().Instrument(0);
  Layer* plain = pad.add(0, 0, 0, f.sample("plain.wav", 0.4f), f.folder());
  ASSERT_TRUE(plain->playNorm);
  plain->Play(1);
  EXPECT_NEAR(f.audio.left(10)[5], pcm16(0.4f), 1e-6);  // velocity 1, yet full level

  ASSERT_TRUE(
      audio::sndPlaySoundA(f.audio.dir.file(f.sample("preview.wav", 0.3f)), audio::SND_ASYNC));
  EXPECT_NEAR(f.audio.left(200)[150], pcm16(0.3f), 1e-6);  // it replaced the layer's sound
  plain->stopd();
  EXPECT_EQ(f.audio.left(500)[400], 0.0f);
}

TEST(Preset, ClearResetsThePadItsTooltipAndItsGroup) {
  KitFixture f;
  preset& pad = f.kit().Instrument(4);
  pad.Grp(2);
  pad.add(0, 0, 0, f.sample("a.wav", 0.1f), f.folder());
  pad.offset = pad.lenght = pad.KeyStart = pad.KeyEnd = 7;
  pad.Clear(4, 50, "xxx", 0);
  EXPECT_EQ(pad.Index, 4);
  EXPECT_EQ(pad.RootKey, 50);
  EXPECT_EQ(pad.PAD(), "xxx");
  EXPECT_EQ(f.pads.tooltips[4], "xxx");
  EXPECT_EQ(pad.Grp(), 0);
  EXPECT_EQ(pad.Voices, 0);
  EXPECT_EQ(pad.Count(), 0);
  EXPECT_EQ(pad.offset + pad.lenght + pad.KeyStart + pad.KeyEnd, 0);
  EXPECT_EQ(f.pads.groups[4], 0);
  EXPECT_FALSE(f.state.Group1Pads.contains("I4"));
  EXPECT_FALSE(f.state.Group2Pads.contains("I4"));
  EXPECT_EQ(errorNumber([&] { pad.Clear(9, 50, "xxx", 0); }), Error::kNoSuchControl);
}

TEST(Preset, GroupMovesThePadBetweenTheMuteGroupLists) {
  KitFixture f;
  preset& pad = f.kit().Instrument(3);
  pad.Grp(1);
  pad.Grp(1);
  EXPECT_EQ(f.state.Group1Pads.Count(), 1);
  EXPECT_EQ(*f.state.Group1Pads.find("I3"), &pad);
  EXPECT_EQ(pad.Voices, 1);
  EXPECT_EQ(f.pads.groups[3], 1);

  f.kit().Instrument(5).Grp(2);
  pad.Grp(2);
  EXPECT_FALSE(f.state.Group1Pads.contains("I3"));
  ASSERT_EQ(f.state.Group2Pads.Count(), 2);
  EXPECT_EQ((*f.state.Group2Pads.find(2))->Index, 3);  // appended after pad 5
  EXPECT_EQ(f.pads.groups[3], 2);

  pad.Grp(1);
  pad.Grp(3);  // no list or image changes, but Voices follows
  EXPECT_EQ(pad.Grp(), 3);
  EXPECT_EQ(pad.Voices, 1);
  EXPECT_TRUE(f.state.Group1Pads.contains("I3"));
  EXPECT_EQ(f.pads.groups[3], 1);
  pad.Grp(-1);
  EXPECT_EQ(pad.Voices, 0);
  EXPECT_TRUE(f.state.Group1Pads.contains("I3"));

  pad.Grp(0);
  EXPECT_FALSE(f.state.Group1Pads.contains("I3"));
  EXPECT_FALSE(f.state.Group2Pads.contains("I3"));
  EXPECT_EQ(f.pads.groups[3], 0);
}

TEST(Preset, LayersAreKeyedInOrderAndLookedUpByPositionOrKey) {
  KitFixture f;
  preset& pad = f.kit().Instrument(0);
  for (const char* name : {"a.wav", "b.wav", "c.wav"})
    pad.add(0, 0, 0, f.sample(name, 0.1f), f.folder());
  EXPECT_EQ(pad.Item(1)->key, "I0");
  EXPECT_EQ(pad.Item(3)->key, "I2");
  EXPECT_EQ(pad.Item(2), pad.Item("I1"));
  EXPECT_EQ(pad.Item(2)->filename, "b.wav");
  EXPECT_EQ(pad.Item(2)->parent, &pad);
  EXPECT_EQ(pad.Item("I9"), nullptr);
  EXPECT_EQ(pad.Item(0), nullptr);
  EXPECT_EQ(pad.Item(4), nullptr);
  EXPECT_EQ(errorNumber([&] { pad.Remove("I9"); }), Error::kInvalidCall);
  EXPECT_EQ(errorNumber([&] { pad.Remove(4); }), Error::kSubscriptOutOfRange);

  pad.Remove(2);  // a gap in the middle: the next key must not collide with I2
  Layer* next = pad.add(0, 0, 0, "a.wav", f.folder());
  EXPECT_EQ(next->key, "I3");
  EXPECT_EQ(pad.Count(), 3);
}

TEST(Preset, SetPadRenamesWithoutTouchingTheTooltip) {
  KitFixture f;
  preset& pad = f.kit().Instrument(2);
  pad.SetPad("Snare");
  EXPECT_EQ(pad.PAD(), "Snare");
  EXPECT_EQ(f.pads.tooltips[2], "xxx");
  pad.PAD("Hat");
  EXPECT_EQ(f.pads.tooltips[2], "Hat");
}

TEST(Drumkit, ANewKitHasTheNineDefaultPads) {
  KitFixture f;
  Drumkit& kit = f.kit();
  const int keys[] = {36, 38, 42, 46, 50, 47, 43, 63, 64};
  for (int16_t i = 0; i < 9; ++i) {
    preset& pad = kit.Instrument(i);
    EXPECT_EQ(pad.Index, i);
    EXPECT_EQ(pad.RootKey, keys[i]);
    EXPECT_EQ(pad.PAD(), "xxx");
    EXPECT_EQ(f.pads.tooltips[std::size_t(i)], "xxx");
    EXPECT_EQ(f.pads.groups[std::size_t(i)], 0);
    EXPECT_EQ(pad.Grp(), 0);
    EXPECT_EQ(pad.Count(), 0);
  }
  EXPECT_FALSE(f.state.kitChanged);
  EXPECT_TRUE(kit.Kitname.empty() && kit.Samples.empty() && kit.CopyRyt.empty());
  EXPECT_EQ(errorNumber([&] { kit.Instrument(9); }), Error::kSubscriptOutOfRange);
  EXPECT_EQ(errorNumber([&] { kit.Instrument(-1); }), Error::kSubscriptOutOfRange);
  EXPECT_EQ(&kit, &f.kit());  // one kit for the whole run
}

TEST(Drumkit, ClearResetsEveryPadFreesTheRootKeysAndKeepsTheName) {
  KitFixture f;
  Drumkit& kit = f.kit();
  kit.Kitname = "Rock";
  preset& pad = kit.Instrument(2);
  for (const char* name : {"a.wav", "b.wav", "c.wav"})
    pad.add(0, 0, 0, f.sample(name, 0.5f), f.folder());
  pad.Grp(1);
  pad.RootKey = 99;
  f.state.kitChanged = true;
  f.state.usedRootKeys[0] = 2;
  f.state.usedRootKeys[99] = 2;
  pad.Item(1)->Play(127);
  f.audio.left(100);

  kit.Clear();
  EXPECT_EQ(pad.Count(), 0);
  EXPECT_EQ(pad.RootKey, 42);
  EXPECT_EQ(pad.Grp(), 0);
  EXPECT_EQ(f.state.Group1Pads.Count(), 0);
  EXPECT_EQ(kit.Kitname, "Rock");
  EXPECT_FALSE(f.state.kitChanged);
  for (int8_t claim : f.state.usedRootKeys) EXPECT_EQ(claim, KitState::kFreeKey);
  EXPECT_EQ(f.audio.left(500)[400], 0.0f);  // the pad was silenced before its layers went
}

}  // namespace
}  // namespace varnkit
