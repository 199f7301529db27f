#pragma once
// Test fixtures made in code: WAV bytes and other sound files from samples, signals, and a
// scratch folder.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace varnkit::testing {

struct WavSpec {
  uint32_t rate = 44100;
  uint16_t channels = 1;
  uint16_t bits = 16;    // 8, 16, 24 or 32
  bool isFloat = false;  // 32-bit IEEE float when true
};

// A canonical RIFF/WAVE file holding the interleaved samples (range -1..1) in the given format.
std::vector<uint8_t> makeWav(const std::vector<float>& samples, const WavSpec& spec);

// Writes the interleaved samples (range -1..1) at spec's rate and channels through the sound-file
// library, in one of its formats (SF_FORMAT_FLAC | SF_FORMAT_PCM_16, ...); raises when it cannot.
void writeSoundFile(const std::filesystem::path& path, const std::vector<float>& samples,
                    const WavSpec& spec, int format);

// Writes bytes to path, replacing the file.
void writeFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// frames of a sine wave of the given frequency and amplitude, mono.
std::vector<float> sine(double freq, double amp, uint32_t rate, uint64_t frames);

// frames of one constant value, mono.
std::vector<float> constant(float value, uint64_t frames);

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / name as a string.
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace varnkit::testing
