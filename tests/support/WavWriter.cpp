#include "tests/support/WavWriter.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <numbers>
#include <stdexcept>

namespace varnkit::testing {
namespace {

void putLe(std::vector<uint8_t>& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

void putSample(std::vector<uint8_t>& out, float s, const WavSpec& spec) {
  if (spec.isFloat) {
    uint32_t bits;
    std::memcpy(&bits, &s, 4);
    putLe(out, bits, 4);
    return;
  }
  const double clipped = std::clamp(double(s), -1.0, 1.0);
  const double full = std::ldexp(1.0, spec.bits - 1);
  const auto v = int64_t(std::clamp(std::lround(clipped * full), long(-full), long(full - 1)));
  if (spec.bits == 8) {
    out.push_back(uint8_t(v + 128));  // 8-bit WAV data is unsigned
  } else {
    putLe(out, uint64_t(v), spec.bits / 8);
  }
}

}  // namespace

std::vector<uint8_t> makeWav(const std::vector<float>& samples, const WavSpec& spec) {
  const uint32_t blockAlign = spec.channels * (spec.bits / 8);
  const uint32_t dataBytes = uint32_t(samples.size()) * (spec.bits / 8);
  std::vector<uint8_t> out;
  putTag(out, "RIFF");
  putLe(out, 36 + dataBytes + (dataBytes & 1), 4);
  putTag(out, "WAVE");
  putTag(out, "fmt ");
  putLe(out, 16, 4);
  putLe(out, spec.isFloat ? 3 : 1, 2);
  putLe(out, spec.channels, 2);
  putLe(out, spec.rate, 4);
  putLe(out, spec.rate * blockAlign, 4);
  putLe(out, blockAlign, 2);
  putLe(out, spec.bits, 2);
  putTag(out, "data");
  putLe(out, dataBytes, 4);
  for (float s : samples) putSample(out, s, spec);
  if (dataBytes & 1) out.push_back(0);
  return out;
}

void writeSoundFile(const std::filesystem::path& path, const std::vector<float>& samples,
                    const WavSpec& spec, int format) {
  SF_INFO info{};
  info.samplerate = int(spec.rate);
  info.channels = spec.channels;
  info.format = format;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  if (!f) throw std::runtime_error("cannot write " + path.string() + ": " + sf_strerror(nullptr));
  const auto frames = sf_count_t(samples.size() / spec.channels);
  const bool whole = sf_writef_float(f, samples.data(), frames) == frames;
  if (sf_close(f) != 0 || !whole) throw std::runtime_error("cannot write " + path.string());
}

void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path.string());
}

std::vector<float> sine(double freq, double amp, uint32_t rate, uint64_t frames) {
  std::vector<float> out(frames);
  for (uint64_t i = 0; i < frames; ++i)
    out[i] = float(amp * std::sin(2 * std::numbers::pi * freq * double(i) / rate));
  return out;
}

std::vector<float> constant(float value, uint64_t frames) {
  return std::vector<float>(frames, value);
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "varnkit-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace varnkit::testing
