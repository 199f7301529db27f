#include "platform/audio/SampleFile.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <numbers>
#include <random>
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
      auto r = decodeSampleFile(write("pcm.wav", makeWav(written, spec)), spec.rate);
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

  auto r = decodeSampleFile(write("long.wav", bytes), 44100);
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
    testing::writeSoundFile(path, signal, {16000, 1}, c.sfFormat);
    auto r = decodeSampleFile(path, 16000);
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
    auto r = decodeSampleFile(write("rate.wav", makeWav(stereo, {rate, 2, 32, true})), kDevice);
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
    expectRefused(decodeSampleFile(path, 44100), DsResult::BadFormat, path);
  }
  EXPECT_EQ(openDescriptors(), descriptors);
}

TEST_F(SampleFile, ManyChannelsPlayOnTwoSidesAndRatesFarFromTheDevicesAreConverted) {
  // Four channels: front left, front right, rear left, rear right.
  std::vector<float> quad;
  for (int i = 0; i < 300; ++i) quad.insert(quad.end(), {0.5f, 0.25f, 0.1f, -0.25f});
  auto r = decodeSampleFile(write("quad.wav", makeWav(quad, {44100, 4, 32, true})), 44100);
  ASSERT_TRUE(r.ok()) << r.failure().text;
  EXPECT_EQ(r.value().format.channels, 4);
  ASSERT_EQ(r.value().data.channels, 2u);
  EXPECT_NEAR(r.value().data.samples[200], 0.3f, 1e-6);
  EXPECT_NEAR(r.value().data.samples[201], 0.0f, 1e-6);

  for (uint32_t rate : {8000u, 192000u, 768000u}) {
    const uint64_t frames = rate / 10;
    r = decodeSampleFile(
        write("far.wav", makeWav(sine(441, 0.5, rate, frames), {rate, 1, 32, true})), 44100);
    ASSERT_TRUE(r.ok()) << rate << ": " << r.failure().text;
    EXPECT_EQ(r.value().data.frames, 4410u) << rate;
    const auto expected = sine(441, 0.5, 44100, 4410);
    EXPECT_NEAR(r.value().data.samples[2000], expected[2000], 1e-3) << rate;
  }
}

TEST_F(SampleFile, RefusesAMissingFileAndAFolder) {
  const std::string missing = dir.file("missing.wav");
  expectRefused(decodeSampleFile(missing, 44100), DsResult::FileNotFound, missing);
  expectRefused(decodeSampleFile(dir.path().string(), 44100), DsResult::BadFormat,
                dir.path().string());
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
    auto r = decodeSampleFile(write("short.wav", bytes), 44100);
    ASSERT_TRUE(r.ok()) << r.failure().text;
    const SampleData& d = r.value().data;
    ASSERT_EQ(d.frames, frames);
    ASSERT_EQ(d.samples.size(), frames);
    EXPECT_EQ(r.value().format.blockAlign, 2);  // the layout the data really has
    for (size_t i = 0; i < frames; ++i) ASSERT_NEAR(d.samples[i], signal[i], 1.0 / 32768);
  }
  EXPECT_EQ(openDescriptors(), descriptors);
}

// Samples as a lossless file of the given depth keeps them: the words the library takes, the
// depth's bits at their top, and the floats they decode to.
struct Quantised {
  std::vector<int32_t> words;
  std::vector<float> decoded;
};

Quantised atDepth(const std::vector<float>& samples, int bits) {
  Quantised q;
  for (float s : samples) {
    const long v = std::lround(std::ldexp(s, bits - 1));
    q.words.push_back(int32_t(uint32_t(v) << (32 - bits)));
    q.decoded.push_back(float(std::ldexp(double(v), 1 - bits)));
  }
  return q;
}

void writeWords(const std::string& path, int format, const std::vector<int32_t>& words,
                int channels, int rate) {
  SF_INFO info{0, rate, channels, format, 0, 0};
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << sf_strerror(nullptr);
  sf_writef_int(f, words.data(), sf_count_t(words.size()) / channels);
  sf_close(f);
}

double rms(const float* s, size_t n) {
  double sum = 0;
  for (size_t i = 0; i < n; ++i) sum += double(s[i]) * s[i];
  return std::sqrt(sum / double(n));
}

TEST_F(SampleFile, LosslessFilesOfOtherKindsDecodeExactlyAndLossyOnesKeepLengthAndLevel) {
  const auto left = sine(440, 0.7, 48000, 6000);
  const auto stereo = interleave(left, sine(1234, -0.5, 48000, 6000));
  struct Lossless {
    int format, bits;
    uint16_t channels, recordBits;
  };
  for (const Lossless c : {Lossless{SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 24, 2, 24},
                           Lossless{SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 16, 1, 16},
                           Lossless{SF_FORMAT_CAF | SF_FORMAT_ALAC_20, 20, 2, 24}}) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.format);
    const Quantised q = atDepth(c.channels == 1 ? left : stereo, c.bits);
    writeWords(dir.file("lossless"), c.format, q.words, c.channels, 48000);
    auto r = decodeSampleFile(dir.file("lossless"), 48000);
    ASSERT_TRUE(r.ok()) << r.failure().text;
    const uint16_t block = c.channels * c.recordBits / 8;
    EXPECT_EQ(r.value().format,
              (WaveFormat{1, c.channels, 48000, 48000u * block, block, c.recordBits, 0}));
    const auto& got = r.value().data.samples;
    ASSERT_EQ(got.size(), q.decoded.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], q.decoded[i]) << "sample " << i;
  }
  for (const auto& [format, rate] :
       {std::pair{SF_FORMAT_OGG | SF_FORMAT_VORBIS, 44100u},
        std::pair{SF_FORMAT_OGG | SF_FORMAT_OPUS, 48000u},
        std::pair{SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III, 44100u}}) {
    SCOPED_TRACE(::testing::Message() << std::hex << format);
    const uint64_t frames = rate / 4;
    const auto signal = interleave(sine(440, 0.5, rate, frames), sine(1000, 0.25, rate, frames));
    testing::writeSoundFile(dir.file("lossy"), signal, {rate, 2}, format);
    auto r = decodeSampleFile(dir.file("lossy"), rate);
    ASSERT_TRUE(r.ok()) << r.failure().text;
    EXPECT_EQ(r.value().format, (WaveFormat{3, 2, rate, rate * 8, 8, 32, 0}));
    const SampleData& d = r.value().data;
    EXPECT_EQ(d.frames, frames);
    EXPECT_NEAR(rms(d.samples.data(), d.samples.size()), rms(signal.data(), signal.size()), 0.02);
  }
}

std::vector<uint8_t> bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// The length of an MPEG-1 layer III stream's first frame.
size_t firstMp3Frame(const std::vector<uint8_t>& b) {
  constexpr size_t kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  constexpr size_t kRates[] = {44100, 48000, 32000};
  EXPECT_TRUE(b.size() > 4 && b[0] == 0xFF && (b[1] & 0xFE) == 0xFA);
  return 144000 * kKbps[b[2] >> 4 & 15] / kRates[b[2] >> 2 & 3] + (b[2] >> 1 & 1);
}

TEST_F(SampleFile, CompressedFilesPlayAllTheyHoldWhateverTheirHeadersClaimOrAreRefused) {
  // A hit: a dense burst, then a quiet tail that costs the encoder few bits a frame.
  std::vector<float> hit = sine(440, 0.05, 44100, 100000);
  std::minstd_rand noise(7);
  for (size_t i = 0; i < 4410; ++i) hit[i] = float(noise() % 2001) / 1000 - 1;
  testing::writeSoundFile(dir.file("hit.mp3"), hit, {44100, 1},
                          SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
  auto mp3 = bytesOf(dir.file("hit.mp3"));
  // Its first frame holds the frame count; without it the length is guessed from the burst.
  mp3.erase(mp3.begin(), mp3.begin() + ptrdiff_t(firstMp3Frame(mp3)));
  auto r = decodeSampleFile(write("guessed.mp3", mp3), 44100);
  ASSERT_TRUE(r.ok()) << r.failure().text;
  const SampleData& d = r.value().data;
  // Untrimmed now, it keeps the encoder's delay and the last frame's padding.
  ASSERT_GE(d.frames, hit.size());
  EXPECT_LT(d.frames, hit.size() + 3 * 1152);
  EXPECT_NEAR(rms(&d.samples[d.frames - 20000], 15000), 0.05 / std::sqrt(2), 0.005);

  testing::writeSoundFile(dir.file("hit.flac"), hit, {44100, 1}, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
  const auto flac = bytesOf(dir.file("hit.flac"));
  // The stream info follows "fLaC" and its block header: the rate in bytes 18 to 20, the frame
  // count in the low 36 bits of bytes 21 to 25.
  const std::vector<std::pair<const char*, Edit>> refused = {
      {"header only", [](auto& b) { b.resize(42); }},
      {"rate 0", [](auto& b) { b[18] = b[19] = 0, b[20] &= 0x0F; }},
      {"no frames", [](auto& b) { std::fill(b.begin() + 42, b.end(), 0x5A); }},
  };
  const size_t descriptors = openDescriptors();
  for (const auto& [name, edit] : refused) {
    SCOPED_TRACE(name);
    auto bytes = flac;
    edit(bytes);
    const std::string path = write("damaged.flac", bytes);
    expectRefused(decodeSampleFile(path, 44100), DsResult::BadFormat, path);
  }
  EXPECT_EQ(openDescriptors(), descriptors);
  auto boastful = flac;
  boastful[21] |= 0x0F;
  std::fill(boastful.begin() + 22, boastful.begin() + 26, 0xFF);
  r = decodeSampleFile(write("boastful.flac", boastful), 44100);
  ASSERT_TRUE(r.ok()) << r.failure().text;
  EXPECT_EQ(r.value().data.frames, hit.size());
  EXPECT_NEAR(r.value().data.samples.back(), hit.back(), 1.0 / 32768);
}

}  // namespace
}  // namespace varnkit::audio
