#include <gtest/gtest.h>

#include "platform/Error.h"
#include "platform/audio/PlainPlayer.h"
#include "sound/SoundOutput.h"
#include "tests/support/WavWriter.h"

namespace varnkit {
namespace {

using audio::DsResult;

class InitSoundTest : public ::testing::Test {
 protected:
  void TearDown() override { CloseSound(); }

  static void useOfflineDevice() {
    SetDirectX7(std::make_unique<audio::DirectX7>(
        [](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
          return audio::Device::openOffline(44100);
        }));
  }
};

TEST_F(InitSoundTest, OpensTheDeviceWithPriorityAndTheSixteenBitStereoFormat) {
  useOfflineDevice();
  InitSound(0x1234);
  ASSERT_NE(SoundDevice(), nullptr);
  EXPECT_EQ(SoundDevice()->cooperativeLevel().window, 0x1234u);
  EXPECT_EQ(SoundDevice()->cooperativeLevel().level, audio::DSSCL_PRIORITY);
  ASSERT_NE(PrimaryBuffer(), nullptr);
  audio::WaveFormat f;
  ASSERT_EQ(PrimaryBuffer()->GetFormat(f), DsResult::Ok);
  EXPECT_EQ(f.formatTag, 1);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.samplesPerSec, 44100u);
  EXPECT_EQ(f.avgBytesPerSec, 176400u);
  EXPECT_EQ(f.blockAlign, 4);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.cbSize, 22);
}

TEST_F(InitSoundTest, APlainSoundPlaysOnTheDeviceItOpened) {
  useOfflineDevice();
  InitSound(1);
  testing::TempDir dir;
  testing::writeFile(dir.file("a.wav"), testing::makeWav(testing::constant(0.5f, 1000), {}));
  ASSERT_TRUE(audio::sndPlaySoundA(dir.file("a.wav"), audio::SND_ASYNC));
  EXPECT_NEAR(SoundDevice()->render(10)[8], 0.5f, 1e-4);
}

TEST_F(InitSoundTest, ANoDeviceFailureIsRaisedWithTheReason) {
  SetDirectX7(std::make_unique<audio::DirectX7>(
      [](const std::string&) -> audio::Result<std::unique_ptr<audio::Device>> {
        return audio::Failure{DsResult::NoDriver, "JACK: no server"};
      }));
  try {
    InitSound(1);
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), int32_t(DsResult::NoDriver));
    EXPECT_NE(e.text().find("sound device"), std::string::npos) << e.text();
    EXPECT_NE(e.text().find("JACK: no server"), std::string::npos) << e.text();
  }
  EXPECT_EQ(SoundDevice(), nullptr);
}

TEST(PrimaryBuffer, TakesOnlyAConsistentPcmFormatAndOnlyWithPriority) {
  auto device = audio::Device::openOffline();
  auto primary = device->CreateSoundBuffer({audio::DSBCAPS_PRIMARYBUFFER, 0}, {});
  ASSERT_TRUE(primary.ok());
  const audio::WaveFormat good{1, 2, 44100, 176400, 4, 16, 22};
  EXPECT_EQ(primary.value()->SetFormat(good), DsResult::PrioLevelNeeded);
  ASSERT_EQ(device->SetCooperativeLevel(7, audio::DSSCL_PRIORITY), DsResult::Ok);
  EXPECT_EQ(primary.value()->SetFormat({1, 2, 44100, 176400, 2, 16, 0}), DsResult::BadFormat);
  EXPECT_EQ(primary.value()->SetFormat({3, 2, 44100, 352800, 8, 32, 0}), DsResult::BadFormat);
  EXPECT_EQ(primary.value()->SetFormat({1, 6, 44100, 529200, 12, 16, 0}), DsResult::BadFormat);
  ASSERT_EQ(primary.value()->SetFormat(good), DsResult::Ok);
  audio::WaveFormat back;
  ASSERT_EQ(primary.value()->GetFormat(back), DsResult::Ok);
  EXPECT_EQ(back, good);
  auto again = device->CreateSoundBuffer({audio::DSBCAPS_PRIMARYBUFFER, 0}, {});
  ASSERT_TRUE(again.ok());
  EXPECT_EQ(again.value(), primary.value());
  EXPECT_FALSE(device->CreateSoundBuffer({audio::DSBCAPS_CTRLVOLUME, 0}, good).ok());
}

}  // namespace
}  // namespace varnkit
