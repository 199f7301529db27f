#include "platform/audio/SampleFile.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <optional>

namespace varnkit::audio {
namespace {

// 1 GiB of floats: more than any drum sample needs, little enough to refuse before the system
// starts swapping.
constexpr uint64_t kMaxSamples = uint64_t(1) << 28;
// Each read costs a system call, so read large pieces; 64k frames still fit in the core's cache.
constexpr sf_count_t kChunkFrames = 65536;
constexpr uint32_t kMinRate = 1000;
constexpr uint32_t kMaxRate = 384000;

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

struct SoxrDeleter {
  void operator()(soxr_t s) const { soxr_delete(s); }
};
using SoxrPtr = std::unique_ptr<soxr, SoxrDeleter>;

Failure fail(DsResult code, const std::string& path, const std::string& why) {
  return Failure{code, "'" + path + "' " + why};
}

struct Encoding {
  uint16_t tag;
  uint16_t bits;
  bool compressed;  // its block layout is not channels * bits / 8
};

std::optional<Encoding> encodingOf(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8:
      return Encoding{WAVE_FORMAT_PCM, 8, false};
    case SF_FORMAT_PCM_16:
      return Encoding{WAVE_FORMAT_PCM, 16, false};
    case SF_FORMAT_PCM_24:
      return Encoding{WAVE_FORMAT_PCM, 24, false};
    case SF_FORMAT_PCM_32:
      return Encoding{WAVE_FORMAT_PCM, 32, false};
    case SF_FORMAT_FLOAT:
      return Encoding{WAVE_FORMAT_IEEE_FLOAT, 32, false};
    case SF_FORMAT_DOUBLE:
      return Encoding{WAVE_FORMAT_IEEE_FLOAT, 64, false};
    case SF_FORMAT_ALAW:
      return Encoding{0x0006, 8, false};
    case SF_FORMAT_ULAW:
      return Encoding{0x0007, 8, false};
    case SF_FORMAT_MS_ADPCM:
      return Encoding{0x0002, 4, true};
    case SF_FORMAT_IMA_ADPCM:
      return Encoding{0x0011, 4, true};
    case SF_FORMAT_GSM610:
      return Encoding{0x0031, 0, true};
    default:
      return std::nullopt;
  }
}

uint32_t readLe(const uint8_t* p, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Compressed encodings have a block size only the file knows, so take it from its fmt chunk.
void copyBlockLayout(SNDFILE* file, WaveFormat& format) {
  SF_CHUNK_INFO want{};
  std::memcpy(want.id, "fmt ", 4);
  want.id_size = 4;
  SF_CHUNK_ITERATOR* it = sf_get_chunk_iterator(file, &want);
  SF_CHUNK_INFO chunk{};
  if (!it || sf_get_chunk_size(it, &chunk) != SF_ERR_NO_ERROR || chunk.datalen < 16) return;
  std::vector<uint8_t> bytes(chunk.datalen);
  chunk.data = bytes.data();
  if (sf_get_chunk_data(it, &chunk) != SF_ERR_NO_ERROR) return;
  format.avgBytesPerSec = readLe(&bytes[8], 4);
  format.blockAlign = uint16_t(readLe(&bytes[12], 2));
}

WaveFormat formatRecord(SNDFILE* file, const SF_INFO& info, const Encoding& enc) {
  WaveFormat f;
  f.formatTag = enc.tag;
  f.channels = uint16_t(info.channels);
  f.samplesPerSec = uint32_t(info.samplerate);
  f.bitsPerSample = enc.bits;
  if (enc.compressed) {
    copyBlockLayout(file, f);
  } else {
    f.blockAlign = uint16_t(f.channels * enc.bits / 8);
    f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
  }
  return f;
}

bool isWaveContainer(int format) {
  const int major = format & SF_FORMAT_TYPEMASK;
  return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

std::optional<Failure> checkHeader(const std::string& path, const SF_INFO& info) {
  if (!isWaveContainer(info.format)) return fail(DsResult::BadFormat, path, "is not a WAV file");
  if (info.channels < 1 || info.channels > 2)
    return fail(DsResult::BadFormat, path,
                "has " + std::to_string(info.channels) + " channels; only mono and stereo play");
  if (info.samplerate < int(kMinRate) || info.samplerate > int(kMaxRate))
    return fail(DsResult::BadFormat, path,
                "claims a sample rate of " + std::to_string(info.samplerate) + " Hz");
  if (!encodingOf(info.format & SF_FORMAT_SUBMASK))
    return fail(DsResult::BadFormat, path, "uses an encoding that is not supported");
  return std::nullopt;
}

// How many frames to make room for up front. The header's count may be a lie, so bound it by
// what the file's size could hold at the encoding's density (GSM packs under 2 bits a sample).
uint64_t expectedFrames(const SF_INFO& info, const Encoding& enc, uint64_t fileBytes) {
  const uint64_t channels = uint64_t(info.channels);
  const uint64_t claimed = info.frames > 0 ? uint64_t(info.frames) : 0;
  const uint64_t holdable = fileBytes * 8 / (std::max<uint64_t>(enc.bits, 1) * channels);
  return std::min({claimed, holdable, kMaxSamples / channels});
}

// Hands out the file's frames as floats. The library converts 16-bit samples one at a time,
// several times slower than reading the file, so the most common format gets a loop the compiler
// can vectorise.
class FloatReader {
 public:
  FloatReader(SNDFILE* file, const SF_INFO& info) : file_(file), channels_(info.channels) {
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16)
      pcm_.resize(size_t(kChunkFrames * channels_));
  }

  // Reads up to kChunkFrames frames into out; 0 at the end of the data.
  sf_count_t read(float* out) {
    if (pcm_.empty()) return sf_readf_float(file_, out, kChunkFrames);
    const sf_count_t got = sf_readf_short(file_, pcm_.data(), kChunkFrames);
    convert(out, size_t(std::max<sf_count_t>(got, 0) * channels_));
    return got;
  }

 private:
  void convert(float* out, size_t samples) const {
    constexpr float kScale = 1.0f / 32768;
    constexpr size_t kLanes = 16;  // a fixed count lets -O2 vectorise the inner loop
    size_t i = 0;
    for (; i + kLanes <= samples; i += kLanes)
      for (size_t j = 0; j < kLanes; ++j) out[i + j] = float(pcm_[i + j]) * kScale;
    for (; i < samples; ++i) out[i] = float(pcm_[i]) * kScale;
  }

  SNDFILE* file_;
  int channels_;
  std::vector<int16_t> pcm_;
};

// Trusts only the frames the library hands back, whatever the header claimed.
Result<SampleData> readAll(SNDFILE* file, const SF_INFO& info, uint64_t reserveFrames,
                           const std::string& path) {
  FloatReader reader(file, info);
  SampleData out;
  out.channels = uint32_t(info.channels);
  const uint64_t ch = out.channels;
  const uint64_t chunk = uint64_t(kChunkFrames);
  out.samples.reserve((reserveFrames + chunk) * ch);
  uint64_t frames = 0;
  for (;;) {
    if (frames * ch > kMaxSamples)
      return fail(DsResult::OutOfMemory, path, "holds more sample data than can be loaded");
    out.samples.resize((frames + chunk) * ch);  // zeroes a cache-sized piece at a time
    const sf_count_t got = reader.read(out.samples.data() + frames * ch);
    if (got <= 0) break;
    frames += uint64_t(got);
  }
  if (frames == 0) return fail(DsResult::BadFormat, path, "has no sample data");
  out.samples.resize(frames * ch);
  out.frames = frames;
  return out;
}

Result<SampleData> resample(const SampleData& in, uint32_t fromRate, uint32_t toRate,
                            const std::string& path) {
  const uint64_t target = (in.frames * toRate + fromRate / 2) / fromRate;
  if (target * in.channels > kMaxSamples)
    return fail(DsResult::OutOfMemory, path, "would be too long at the device's rate");
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  soxr_error_t err = nullptr;
  SoxrPtr resampler(soxr_create(fromRate, toRate, in.channels, &err, &io, &quality, &runtime));
  if (err) return fail(DsResult::Generic, path, std::string("cannot be resampled: ") + err);

  SampleData out;
  out.channels = in.channels;
  out.frames = target;
  out.samples.resize(target * in.channels);  // any frames the resampler falls short of stay silent
  const float* src = in.samples.data();
  size_t srcLeft = in.frames;
  size_t written = 0;
  while (written < target) {
    // No input left tells the resampler to flush what its filter still holds.
    size_t used = 0, made = 0;
    err = soxr_process(resampler.get(), srcLeft ? src : nullptr, srcLeft, &used,
                       out.samples.data() + written * in.channels, target - written, &made);
    if (err) return fail(DsResult::Generic, path, std::string("cannot be resampled: ") + err);
    if (!used && !made) break;
    src += used * in.channels;
    srcLeft -= used;
    written += made;
  }
  return out;
}

Result<DecodedFile> decode(const std::string& path, uint32_t deviceRate) {
  if (deviceRate < kMinRate || deviceRate > kMaxRate)
    return fail(DsResult::InvalidParam, path,
                "cannot be played at a device rate of " + std::to_string(deviceRate) + " Hz");
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return fail(DsResult::FileNotFound, path, "does not exist");
  if (!std::filesystem::is_regular_file(status))
    return fail(DsResult::BadFormat, path, "is not a regular file");
  const uint64_t fileBytes = std::filesystem::file_size(path, ec);

  SF_INFO info{};
  SndfilePtr file(sf_open(path.c_str(), SFM_READ, &info));
  if (!file)
    return fail(DsResult::BadFormat, path, std::string("is unreadable: ") + sf_strerror(nullptr));
  if (auto bad = checkHeader(path, info)) return *bad;

  const Encoding enc = *encodingOf(info.format & SF_FORMAT_SUBMASK);
  DecodedFile decoded{{}, formatRecord(file.get(), info, enc)};
  auto data = readAll(file.get(), info, expectedFrames(info, enc, ec ? 0 : fileBytes), path);
  if (!data.ok()) return data.failure();
  file.reset();
  if (decoded.format.samplesPerSec != deviceRate)
    data = resample(data.value(), decoded.format.samplesPerSec, deviceRate, path);
  if (!data.ok()) return data.failure();
  decoded.data = std::move(data).value();
  return decoded;
}

}  // namespace

Result<DecodedFile> decodeWaveFile(const std::string& path, uint32_t deviceRate) {
  try {
    return decode(path, deviceRate);
  } catch (const std::bad_alloc&) {
    return fail(DsResult::OutOfMemory, path, "does not fit in memory");
  } catch (const std::exception& e) {
    return fail(DsResult::Generic, path, std::string("cannot be loaded: ") + e.what());
  }
}

}  // namespace varnkit::audio
