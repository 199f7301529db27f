#include <gtest/gtest.h>

#include "platform/audio/PlainPlayer.h"
#include "tests/support/AudioFixture.h"

namespace varnkit::audio {
namespace {

using testing::OfflineAudio;
using testing::pcm16;

class PlainPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override { PlainPlayer::useDevice(a.device.get()); }
  void TearDown() override { PlainPlayer::useDevice(nullptr); }

  std::string file(const std::string& name, float value, uint64_t frames) {
    const std::string path = a.dir.file(name);
    testing::writeFile(path, testing::makeWav(testing::constant(value, frames), {}));
    return path;
  }

  OfflineAudio a;
};

TEST_F(PlainPlayerTest, PlaysOneSoundAtATimeAtFullLevel) {
  const auto first = file("first.wav", 0.25f, 20000);
  const auto second = file("second.wav", 0.5f, 20000);
  ASSERT_TRUE(sndPlaySoundA(first, SND_ASYNC));
  EXPECT_NEAR(a.left(100)[50], pcm16(0.25f), 1e-6);
  ASSERT_TRUE(sndPlaySoundA(second, SND_ASYNC));
  const auto out = a.left(1000);
  EXPECT_NEAR(out[500], pcm16(0.5f), 1e-6);  // the first has faded out, not added
  EXPECT_TRUE(a.device->plainPlayer().playing());
}

TEST_F(PlainPlayerTest, AnEmptyRequestStopsTheSound) {
  ASSERT_TRUE(sndPlaySoundA(file("a.wav", 0.5f, 20000), SND_ASYNC));
  a.left(100);
  EXPECT_TRUE(sndPlaySoundA("", SND_NODEFAULT));
  const auto out = a.left(1000);
  EXPECT_EQ(out[500], 0.0f);
  EXPECT_FALSE(a.device->plainPlayer().playing());
}

TEST_F(PlainPlayerTest, AFileItCannotPlayIsAFailureAndSilencesTheOldSound) {
  ASSERT_TRUE(sndPlaySoundA(file("a.wav", 0.5f, 20000), SND_ASYNC));
  a.left(100);
  const std::string junk = a.dir.file("junk.wav");
  testing::writeFile(junk, {'n', 'o', 't', ' ', 'a', ' ', 'w', 'a', 'v'});
  EXPECT_FALSE(sndPlaySoundA(junk, SND_ASYNC));
  EXPECT_FALSE(sndPlaySoundA(a.dir.file("missing.wav"), SND_ASYNC));
  EXPECT_EQ(a.left(1000)[500], 0.0f);
}

TEST(PlainPlayer, WithoutADeviceNothingPlaysAndNothingBreaks) {
  PlainPlayer::useDevice(nullptr);
  EXPECT_FALSE(sndPlaySoundA("/no/such.wav", SND_ASYNC));
  auto device = Device::openOffline();
  PlainPlayer::useDevice(device.get());
  device.reset();  // a device going away is forgotten
  EXPECT_FALSE(sndPlaySoundA("/no/such.wav", SND_ASYNC));
}

}  // namespace
}  // namespace varnkit::audio
