#pragma once
// Reading a sample file (WAV, AIFF, FLAC, Ogg, MP3, ...) whole into memory at the device's rate.

#include <cstdint>
#include <string>

#include "platform/audio/Result.h"
#include "platform/audio/WaveFormat.h"

namespace varnkit::audio {

struct DecodedFile {
  SampleData data;    // at the rate asked for, one or two channels as in the file
  WaveFormat format;  // the file's own format, as its header gives it
};

// What several files may decode to in all, such as the samples of one kit.
struct DecodeBudget {
  uint64_t left = 0;    // samples, all channels counted, as they are decoded
  bool passed = false;  // a file was refused for passing what was left
};

// Decodes the whole file and, when its rate differs from deviceRate, resamples it once.
// Any thread but the audio thread. Fails cleanly for missing, damaged or hostile files, and
// for a file whose sound, at its own rate while read or at deviceRate, passes budget->left;
// what the file holds once decoded is taken from budget.
Result<DecodedFile> decodeSampleFile(const std::string& path, uint32_t deviceRate,
                                     DecodeBudget* budget = nullptr);

// The same sound at another rate. Any thread but the audio thread.
Result<SampleData> resampleData(const SampleData& data, uint32_t fromRate, uint32_t toRate);

}  // namespace varnkit::audio
