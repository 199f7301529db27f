#include "platform/audio/SampleFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <iterator>
#include <numbers>
#include <tuple>
#include <utility>

#include "tests/support/WavWriter.h"

namespace varnkit::audio {
namespace {

using testing::makeWav;
using testing::sine;
using testing::WavSpec;

std::vector<float> interleave(const std::vector<float>& left, const std::vector<float>& right) {
  std::vector<float> out;
  for (size_t i = 0; i < left.size(); ++i) out.insert(out.end(), {left[i], right[i]});
  return out;
}

// What a PCM file of this depth can hold of s, as WavWriter rounds it.
float quantised(float s, const WavSpec& spec) {
  if (spec.isFloat) return s;
  const double full = std::ldexp(1.0, spec.bits - 1);
  return float(std::clamp(double(std::lround(s * full)), -full, full - 1) / full);
}

// Writes a file in any encoding the library can make, for formats WavWriter does not cover.
void writeWithLibrary(const std::string& path, int format, const std::vector<float>& mono,
                      int rate) {
  SF_INFO info{};
  info.samplerate = rate;
  info.channels = 1;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_float(f, mono.data(), sf_count_t(mono.size()));
  sf_close(f);
}

// Offsets into a canonical 44-byte header.
constexpr size_t kChannels = 22, kRate = 24, kBlockAlign = 32, kDataSize = 40;

void put(std::vector<uint8_t>& bytes, size_t at, uint64_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = uint8_t(value >> (8 * i));
}

class SampleFile : public ::testing::Test {
 protected:
  std::string write(const std::string& name, const std::vector<uint8_t>& bytes) {
    testing::writeFile(dir.path() / name, bytes);
    return dir.file(name);
  }
  testing::TempDir dir;
};

TEST_F(SampleFile, DecodesEveryPcmDepthAndFloatExactlyWithTheHeadersFormat) {
  const auto left = sine(440, 0.7, 44100, 500);
  const auto right = sine(1234, -0.999, 44100, 500);
  for (uint16_t channels : {1, 2}) {
    for (WavSpec spec :
         {WavSpec{22050, channels, 8}, WavSpec{44100, channels, 16}, WavSpec{48000, channels, 24},
          WavSpec{96000, channels, 32}, WavSpec{44100, channels, 32, true}}) {
      SCOPED_TRACE(::testing::Message() << spec.bits << " bits, float " << spec.isFloat << ", "
                                        << channels << " channels");
      const auto written = channels == 1 ? left : interleave(left, right);
      auto r = decodeWaveFile(write("pcm.wav", makeWav(written, spec)), spec.rate);
      ASSERT_TRUE(r.ok()) << r.failure().text;
      const DecodedFile& d = r.value();
      const uint16_t block = channels * spec.bits / 8;
      EXPECT_EQ(d.format, (WaveFormat{uint16_t(spec.isFloat ? 3 : 1), channels, spec.rate,
                                      spec.rate * block, block, spec.bits, 0}));
      ASSERT_EQ(d.data.channels, channels);
      ASSERT_EQ(d.data.frames, left.size());
      ASSERT_EQ(d.data.samples.size(), written.size());
      for (size_t i = 0; i < written.size(); ++i)
        ASSERT_NEAR(d.data.samples[i], quantised(written[i], spec), 1e-7) << "sample " << i;
    }
  }
}

TEST_F(SampleFile, ReadsALongFileWithABulkyForeignChunkBeforeItsData) {
  // Longer than one read and with a chunk larger than any read-ahead, so that every path through
  // the file reading is taken.
  const uint64_t frames = 150001;
  const auto stereo = interleave(sine(440, 0.9, 44100, frames), sine(3000, -0.6, 44100, frames));
  auto bytes = makeWav(stereo, {44100, 2, 16});
  std::vector<uint8_t> junk = {'j', 'u', 'n', 'k', 0xA0, 0x86, 0x01, 0};  // 100000 bytes follow
  junk.resize(junk.size() + 100000, 0x5A);
  bytes.insert(bytes.begin() + 36, junk.begin(), junk.end());
  put(bytes, 4, bytes.size() - 8, 4);

  auto r = decodeWaveFile(write("long.wav", bytes), 44100);
  ASSERT_TRUE(r.ok()) << r.failure().text;
  const SampleData& d = r.value().data;
  ASSERT_EQ(d.frames, frames);
  ASSERT_EQ(d.samples.size(), stereo.size());
  for (size_t i = 0; i < stereo.size(); ++i)
    ASSERT_EQ(d.samples[i], quantised(stereo[i], {44100, 2, 16})) << "sample " << i;
}

TEST_F(SampleFile, ReportsTheFilesOwnRecordForOtherWaveEncodingsAndContainers) {
  struct Case {
    int sfFormat;
    uint16_t tag, bits;
    double tolerance;  // how far the lossy encodings may stray from the signal
  };
  const auto signal = sine(1000, 0.5, 16000, 3200);
  for (const Case& c : {Case{SF_FORMAT_WAV | SF_FORMAT_ULAW, 7, 8, 0.02},
                        Case{SF_FORMAT_WAV | SF_FORMAT_ALAW, 6, 8, 0.02},
                        Case{SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 0x11, 4, 0.05},
                        Case{SF_FORMAT_WAV | SF_FORMAT_MS_ADPCM, 2, 4, 0.05},
                        Case{SF_FORMAT_WAV | SF_FORMAT_GSM610, 0x31, 0, 0.15},
                        Case{SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 3, 64, 1e-7},
                        Case{SF_FORMAT_WAVEX | SF_FORMAT_PCM_24, 1, 24, 1e-6},
                        Case{SF_FORMAT_RF64 | SF_FORMAT_PCM_16, 1, 16, 1e-4}}) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.sfFormat);
    const std::string path = dir.file("coded.wav");
    writeWithLibrary(path, c.sfFormat, signal, 16000);
    auto r = decodeWaveFile(path, 16000);
    ASSERT_TRUE(r.ok()) << r.failure().text;
    const WaveFormat& f = r.value().format;
    EXPECT_EQ(f.formatTag, c.tag);
    EXPECT_EQ(f.bitsPerSample, c.bits);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.samplesPerSec, 16000u);
    EXPECT_GT(f.blockAlign, 0);
    EXPECT_GT(f.avgBytesPerSec, 0u);
    EXPECT_LE(f.avgBytesPerSec, 16000u * 8);
    const auto& got = r.value().data.samples;
    ASSERT_GE(got.size(), signal.size());  // block codecs pad their last block
    double worst = 0;
    for (size_t i = 800; i < 2400; ++i)
      worst = std::max(worst, std::abs(double(got[i]) - signal[i]));
    EXPECT_LE(worst, c.tolerance);
  }
}

TEST_F(SampleFile, ResamplesToTheDeviceRateKeepingPitchLevelAndTiming) {
  constexpr uint32_t kDevice = 44100;
  for (uint32_t rate : {22050u, 48000u, 96000u}) {
    SCOPED_TRACE(rate);
    const uint64_t frames = rate / 2 + 7;  // a length that does not divide evenly
    const auto stereo = interleave(sine(1000, 0.5, rate, frames), sine(2500, 0.25, rate, frames));
    auto r = decodeWaveFile(write("rate.wav", makeWav(stereo, {rate, 2, 32, true})), kDevice);
    ASSERT_TRUE(r.ok()) << r.failure().text;
    const SampleData& d = r.value().data;
    EXPECT_EQ(r.value().format.samplesPerSec, rate);
    ASSERT_EQ(d.channels, 2u);
    EXPECT_EQ(d.frames, std::llround(double(frames) * kDevice / rate));
    ASSERT_EQ(d.samples.size(), d.frames * 2);
    // Away from the edges, where the filter sees silence beyond the file, each channel must be
    // its own sine at the new rate, in phase.
    const auto left = sine(1000, 0.5, kDevice, d.frames);
    const auto right = sine(2500, 0.25, kDevice, d.frames);
    for (uint64_t i = 1000; i + 1000 < d.frames; ++i) {
      ASSERT_NEAR(d.samples[2 * i], left[i], 1e-4) << "left frame " << i;
      ASSERT_NEAR(d.samples[2 * i + 1], right[i], 1e-4) << "right frame " << i;
    }
  }
}

using Edit = std::function<void(std::vector<uint8_t>&)>;

size_t openDescriptors() {
  return size_t(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

void expectRefused(const Result<DecodedFile>& r, DsResult code, const std::string& path) {
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.failure().code, code);
  EXPECT_NE(r.failure().text.find(path), std::string::npos) << r.failure().text;
}

TEST_F(SampleFile, RefusesDamagedAndHostileFilesAsBadFormat) {
  const auto good = makeWav(sine(1000, 0.5, 44100, 1000), {});
  const std::vector<std::pair<const char*, Edit>> cases = {
      {"no channels", [](auto& b) { put(b, kChannels, 0, 2); }},
      {"1000 channels", [](auto& b) { put(b, kChannels, 1000, 2); }},
      {"rate 0", [](auto& b) { put(b, kRate, 0, 4); }},
      {"rate 50", [](auto& b) { put(b, kRate, 50, 4); }},
      {"rate 5000000", [](auto& b) { put(b, kRate, 5000000, 4); }},
      {"rate 4e9", [](auto& b) { put(b, kRate, 4000000000u, 4); }},
      {"empty data", [](auto& b) { put(b, kDataSize, 0, 4), b.resize(44); }},
      {"zero bytes", [](auto& b) { b.clear(); }},
      {"header only", [](auto& b) { b.resize(30); }},
      {"text", [](auto& b) { b.assign(200, 'x'); }},
  };
  const size_t descriptors = openDescriptors();
  for (const auto& [name, edit] : cases) {
    SCOPED_TRACE(name);
    auto bytes = good;
    edit(bytes);
    const std::string path = write("hostile.wav", bytes);
    expectRefused(decodeWaveFile(path, 44100), DsResult::BadFormat, path);
  }
  EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(SampleFile, ManyChannelsPlayOnTwoSidesAndRatesFarFromTheDevicesAreConverted) {
  // Four channels: front left, front right, rear left, rear right.
  std::vector<float> quad;
  for (int i = 0; i < 300; ++i) quad.insert(quad.end(), {0.5f, 0.25f, 0.1f, -0.25f});
  auto r = decodeWaveFile(write("quad.wav", makeWav(quad, {44100, 4, 32, true})), 44100);
  ASSERT_TRUE(r.ok()) << r.failure().text;
  EXPECT_EQ(r.value().format.channels, 4);
  ASSERT_EQ(r.value().data.channels, 2u);
  EXPECT_NEAR(r.value().data.samples[200], 0.3f, 1e-6);
  EXPECT_NEAR(r.value().data.samples[201], 0.0f, 1e-6);

  for (uint32_t rate : {8000u, 192000u, 768000u}) {
    const uint64_t frames = rate / 10;
    r = decodeWaveFile(write("far.wav", makeWav(sine(441, 0.5, rate, frames), {rate, 1, 32, true})),
                       44100);
    ASSERT_TRUE(r.ok()) << rate << ": " << r.failure().text;
    EXPECT_EQ(r.value().data.frames, 4410u) << rate;
    const auto expected = sine(441, 0.5, 44100, 4410);
    EXPECT_NEAR(r.value().data.samples[2000], expected[2000], 1e-3) << rate;
  }
}

TEST_F(SampleFile, RefusesWhatIsNotAWaveFile) {
  const std::string missing = dir.file("missing.wav");
  expectRefused(decodeWaveFile(missing, 44100), DsResult::FileNotFound, missing);
  expectRefused(decodeWaveFile(dir.path().string(), 44100), DsResult::BadFormat,
                dir.path().string());

  const std::string aiff = dir.file("aiff.wav");
  writeWithLibrary(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_16, sine(1000, 0.5, 44100, 300), 44100);
  expectRefused(decodeWaveFile(aiff, 44100), DsResult::BadFormat, aiff);
}

TEST_F(SampleFile, KeepsTheFramesReallyPresentWhateverTheHeaderClaims) {
  const auto signal = sine(1000, 0.5, 44100, 1000);
  const auto truncate = [](auto& b) { b.resize(44 + 600 * 2); };
  const std::vector<std::tuple<const char*, Edit, size_t>> cases = {
      {"claims 2000 frames", [&](auto& b) { put(b, kDataSize, 4000, 4), truncate(b); }, 600},
      {"claims 4 GiB", [&](auto& b) { put(b, kDataSize, 0xFFFFFFFF, 4), truncate(b); }, 600},
      {"block align 0", [](auto& b) { put(b, kBlockAlign, 0, 2); }, 1000},
  };
  const size_t descriptors = openDescriptors();
  for (const auto& [name, edit, frames] : cases) {
    SCOPED_TRACE(name);
    auto bytes = makeWav(signal, {});
    edit(bytes);
    auto r = decodeWaveFile(write("short.wav", bytes), 44100);
    ASSERT_TRUE(r.ok()) << r.failure().text;
    const SampleData& d = r.value().data;
    ASSERT_EQ(d.frames, frames);
    ASSERT_EQ(d.samples.size(), frames);
    EXPECT_EQ(r.value().format.blockAlign, 2);  // the layout the data really has
    for (size_t i = 0; i < frames; ++i) ASSERT_NEAR(d.samples[i], signal[i], 1.0 / 32768);
  }
  EXPECT_EQ(openDescriptors(), descriptors);
}

}  // namespace
}  // namespace varnkit::audio
