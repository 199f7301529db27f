#include "platform/audio/SampleFile.h"

#include "platform/audio/FileSource.h"
#include "platform/audio/MpegReader.h"

#include <sndfile.h>
#include <soxr.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
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
constexpr size_t kResampleBlock = 16384;  // frames
// Any rate a file may claim that the resampler can still bridge to a device's.
constexpr uint32_t kMinRate = 100;
constexpr uint32_t kMaxRate = 3072000;
// More channels than any recording setup: a header claiming more is damaged.
constexpr int kMaxChannels = 64;

struct SoxrDeleter {
  void operator()(soxr_t s) const { soxr_delete(s); }
};
using SoxrPtr = std::unique_ptr<soxr, SoxrDeleter>;

Failure fail(DsResult code, const std::string& path, const std::string& why) {
  return Failure{code, "'" + path + "' " + why};
}

// The most samples one file may decode to: its own limit, or what is left of a budget.
struct Limit {
  uint64_t most = kMaxSamples;
  DecodeBudget* budget = nullptr;

  explicit Limit(DecodeBudget* b)
      : most(b ? std::min(b->left, kMaxSamples) : kMaxSamples), budget(b) {}
  // The failure of a file that passes most; usual says why when the file's own limit stops it.
  Failure passed(const std::string& path, const std::string& usual) const {
    if (!budget || most == kMaxSamples) return fail(DsResult::OutOfMemory, path, usual);
    budget->passed = true;
    return fail(DsResult::OutOfMemory, path, "passes the limit on the sound decoded in all");
  }
};

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

WaveFormat plainRecord(const SF_INFO& info, uint16_t tag, uint16_t bits) {
  WaveFormat f;
  f.formatTag = tag;
  f.channels = uint16_t(info.channels);
  f.samplesPerSec = uint32_t(info.samplerate);
  f.bitsPerSample = bits;
  f.blockAlign = uint16_t(f.channels * bits / 8);
  f.avgBytesPerSec = f.samplesPerSec * f.blockAlign;
  return f;
}

bool isWaveContainer(int format) {
  const int major = format & SF_FORMAT_TYPEMASK;
  return major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX || major == SF_FORMAT_RF64;
}

bool isMpeg(int format) {
  return (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG;
}

// The depth Apple's lossless codec decodes to, stored as whole bytes; 0 for other encodings.
uint16_t alacBits(int subtype) {
  switch (subtype) {
    case SF_FORMAT_ALAC_16:
      return 16;
    case SF_FORMAT_ALAC_20:
    case SF_FORMAT_ALAC_24:
      return 24;
    case SF_FORMAT_ALAC_32:
      return 32;
    default:
      return 0;
  }
}

// A WAV file's own record. Other files have none, so theirs tells what the decoder makes of the
// data: plain samples (FLAC's too) at their depth, every other encoding as 32-bit floats.
WaveFormat formatRecord(SNDFILE* file, const SF_INFO& info) {
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  const std::optional<Encoding> enc = encodingOf(subtype);
  if (enc && isWaveContainer(info.format)) {
    WaveFormat f = plainRecord(info, enc->tag, enc->bits);
    if (enc->compressed) {
      f.blockAlign = 0;
      f.avgBytesPerSec = 0;
      copyBlockLayout(file, f);
    }
    return f;
  }
  if (enc && !enc->compressed) return plainRecord(info, enc->tag, enc->bits);
  if (const uint16_t bits = alacBits(subtype)) return plainRecord(info, WAVE_FORMAT_PCM, bits);
  return plainRecord(info, WAVE_FORMAT_IEEE_FLOAT, 32);
}

std::optional<Failure> checkHeader(const std::string& path, const SF_INFO& info) {
  if (info.channels < 1 || info.channels > kMaxChannels)
    return fail(DsResult::BadFormat, path, "claims " + std::to_string(info.channels) + " channels");
  if (info.samplerate < int(kMinRate) || info.samplerate > int(kMaxRate))
    return fail(DsResult::BadFormat, path,
                "claims a sample rate of " + std::to_string(info.samplerate) + " Hz");
  return std::nullopt;
}

// The fewest bits a sample takes in the file. Compressed streams have no such floor (FLAC packs
// silence into a few bytes a block, a lossy codec spends a fraction of a bit on a quiet tail),
// so they are taken at one bit: a denser file only makes the buffer grow as it is read, since
// reading always goes on to the decoder's end.
uint64_t leastBits(const SF_INFO& info) {
  const std::optional<Encoding> enc = encodingOf(info.format & SF_FORMAT_SUBMASK);
  if (!enc || (info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_FLAC) return 1;
  return std::max<uint64_t>(enc->bits, 1);
}

// How many frames to make room for up front. The header's count may be a lie, so bound it by
// what the file's size could hold at the encoding's density (GSM packs under 2 bits a sample).
uint64_t expectedFrames(const SF_INFO& info, uint64_t fileBytes, const Limit& limit) {
  const uint64_t channels = uint64_t(info.channels);
  const uint64_t claimed = info.frames > 0 ? uint64_t(info.frames) : 0;
  const uint64_t holdable = fileBytes * 8 / (leastBits(info) * channels);
  return std::min({claimed, holdable, limit.most / channels});
}

#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
// Wider vectors where the processor has them; the choice is made once, when the program loads.
// ThreadSanitizer cannot run the code that makes that choice: it runs before the sanitizer.
#define VARNKIT_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define VARNKIT_WIDE_VECTORS
#endif

VARNKIT_WIDE_VECTORS void convertPcm16(const int16_t* in, float* out, size_t samples) {
  constexpr float kScale = 1.0f / 32768;
  constexpr size_t kLanes = 16;  // a fixed count lets -O2 vectorise the inner loop
  size_t i = 0;
  for (; i + kLanes <= samples; i += kLanes)
    for (size_t j = 0; j < kLanes; ++j) out[i + j] = float(in[i + j]) * kScale;
  for (; i < samples; ++i) out[i] = float(in[i]) * kScale;
}

// Appends the file's frames as floats. The library converts 16-bit samples one at a time,
// several times slower than reading the file, so the most common format gets a loop the compiler
// can vectorise.
class FloatReader {
 public:
  FloatReader(SNDFILE* file, const SF_INFO& info) : file_(file), channels_(info.channels) {
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16)
      pcm_.reset(new int16_t[size_t(kChunkFrames) * channels_]);  // left unzeroed: reads fill it
  }

  // Appends up to kChunkFrames frames to out; returns how many, 0 at the end of the data.
  uint64_t appendTo(std::vector<float>& out) {
    if (!pcm_) {
      const size_t at = out.size();
      out.resize(at + size_t(kChunkFrames) * channels_);
      const auto got =
          std::max<sf_count_t>(sf_readf_float(file_, out.data() + at, kChunkFrames), 0);
      out.resize(at + size_t(got) * channels_);
      return uint64_t(got);
    }
    const auto got = std::max<sf_count_t>(sf_readf_short(file_, pcm_.get(), kChunkFrames), 0);
    appendConverted(out, size_t(got) * channels_);
    return uint64_t(got);
  }

 private:
  // Converts a piece at a time into a buffer that stays in the first-level cache and appends it
  // from there: out's memory is then written once, never zeroed first. Pieces are kept under the
  // size where the C library copies with "rep movsb", which some processors run slowly.
  void appendConverted(std::vector<float>& out, size_t samples) const {
    std::array<float, 512> piece;
    for (size_t done = 0; done < samples; done += piece.size()) {
      const size_t n = std::min(piece.size(), samples - done);
      convertPcm16(&pcm_[done], piece.data(), n);
      out.insert(out.end(), piece.begin(), piece.begin() + ptrdiff_t(n));
    }
  }

  SNDFILE* file_;
  size_t channels_;
  std::unique_ptr<int16_t[]> pcm_;
};

// Trusts only the frames the library hands back, whatever the header claimed.
// Quadraphonic and surround recordings play on two sides: the even channels (front left, rear
// left, ...) make the left side, the odd ones the right, each side the mean of its channels.
SampleData toStereo(const SampleData& in) {
  SampleData out;
  out.channels = 2;
  out.frames = in.frames;
  out.samples.resize(2 * in.frames);
  const uint32_t n = in.channels;
  const float leftShare = 1.0f / float((n + 1) / 2), rightShare = 1.0f / float(n / 2);
  for (uint64_t f = 0; f < in.frames; ++f) {
    const float* frame = in.samples.data() + f * n;
    float left = 0, right = 0;
    for (uint32_t c = 0; c < n; c += 2) left += frame[c];
    for (uint32_t c = 1; c < n; c += 2) right += frame[c];
    out.samples[2 * f] = left * leftShare;
    out.samples[2 * f + 1] = right * rightShare;
  }
  return out;
}

template <class Reader>
Result<SampleData> readAll(Reader& reader, const SF_INFO& info, uint64_t reserveFrames,
                           const Limit& limit, const std::string& path) {
  SampleData out;
  out.channels = uint32_t(info.channels);
  out.samples.reserve((reserveFrames + uint64_t(kChunkFrames)) * out.channels);
  for (;;) {
    if (out.samples.size() > limit.most)
      return limit.passed(path, "holds more sample data than can be loaded");
    const uint64_t got = reader.appendTo(out.samples);
    if (got == 0) break;
    out.frames += got;
  }
  if (out.frames == 0) return fail(DsResult::BadFormat, path, "has no sample data");
  if (out.channels > 2) out = toStereo(out);
  return out;
}

Result<SampleData> readFrames(FileSource& source, SndfilePtr file, const SF_INFO& info,
                              const Limit& limit, const std::string& path) {
  const uint64_t reserve = expectedFrames(info, source.size(), limit);
  if (!isMpeg(info.format)) {
    FloatReader reader(file.get(), info);
    return readAll(reader, info, reserve, limit, path);
  }
  file.reset();  // the MPEG decoder reads the file anew, to its real end
  MpegReader reader;
  if (auto why = reader.open(source, info)) return fail(DsResult::BadFormat, path, *why);
  return readAll(reader, info, reserve, limit, path);
}

Result<SampleData> resample(const SampleData& in, uint32_t fromRate, uint32_t toRate,
                            const Limit& limit, const std::string& path) {
  const uint64_t target = (in.frames * toRate + fromRate / 2) / fromRate;
  if (target * in.channels > limit.most)
    return limit.passed(path, "would be too long at the device's rate");
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
    // Fed all at once, the resampler copies the whole input into a queue of its own, which
    // makes it several times slower. No input left tells it to flush what its filter holds.
    const size_t feed = std::min(srcLeft, kResampleBlock);
    size_t used = 0, made = 0;
    err = soxr_process(resampler.get(), feed ? src : nullptr, feed, &used,
                       out.samples.data() + written * in.channels, target - written, &made);
    if (err) return fail(DsResult::Generic, path, std::string("cannot be resampled: ") + err);
    if (!used && !made) break;
    src += used * in.channels;
    srcLeft -= used;
    written += made;
  }
  return out;
}

Result<DecodedFile> decode(const std::string& path, uint32_t deviceRate, DecodeBudget* budget) {
  const Limit limit(budget);
  if (deviceRate < kMinRate || deviceRate > kMaxRate)
    return fail(DsResult::InvalidParam, path,
                "cannot be played at a device rate of " + std::to_string(deviceRate) + " Hz");
  FileSource source;
  if (auto failure = source.open(path)) return fail(failure->code, path, failure->text);
  SF_INFO info{};
  SndfilePtr file = source.openSndfile(info);
  if (!file)
    return fail(DsResult::BadFormat, path, std::string("is unreadable: ") + sf_strerror(nullptr));
  if (auto bad = checkHeader(path, info)) return *bad;

  DecodedFile decoded{{}, formatRecord(file.get(), info)};
  auto data = readFrames(source, std::move(file), info, limit, path);
  if (!data.ok()) return data.failure();
  if (decoded.format.samplesPerSec != deviceRate)
    data = resample(data.value(), decoded.format.samplesPerSec, deviceRate, limit, path);
  if (!data.ok()) return data.failure();
  decoded.data = std::move(data).value();
  if (budget) budget->left -= std::min<uint64_t>(budget->left, decoded.data.samples.size());
  return decoded;
}

}  // namespace

Result<DecodedFile> decodeSampleFile(const std::string& path, uint32_t deviceRate,
                                     DecodeBudget* budget) {
  try {
    return decode(path, deviceRate, budget);
  } catch (const std::bad_alloc&) {
    return fail(DsResult::OutOfMemory, path, "does not fit in memory");
  } catch (const std::exception& e) {
    return fail(DsResult::Generic, path, std::string("cannot be loaded: ") + e.what());
  }
}

Result<SampleData> resampleData(const SampleData& data, uint32_t fromRate, uint32_t toRate) {
  try {
    if (fromRate == toRate) return SampleData(data);
    return resample(data, fromRate, toRate, Limit(nullptr), "the sound in memory");
  } catch (const std::bad_alloc&) {
    return Failure{DsResult::OutOfMemory, "the sound in memory does not fit in memory again"};
  }
}

}  // namespace varnkit::audio
