#include "platform/audio/PrimaryBuffer.h"

namespace varnkit::audio {
namespace {

bool validPcm(const WaveFormat& f) {
  if (f.formatTag != WAVE_FORMAT_PCM) return false;
  if (f.channels < 1 || f.channels > 2) return false;
  if (f.bitsPerSample != 8 && f.bitsPerSample != 16) return false;
  if (f.samplesPerSec < 100 || f.samplesPerSec > 200000) return false;
  if (f.blockAlign != f.channels * f.bitsPerSample / 8) return false;
  return f.avgBytesPerSec == f.samplesPerSec * f.blockAlign;
}

}  // namespace

DsResult PrimaryBuffer::SetFormat(const WaveFormat& format) {
  if (coop_->level < DSSCL_PRIORITY) return DsResult::PrioLevelNeeded;
  if (!validPcm(format)) return DsResult::BadFormat;
  format_ = format;
  return DsResult::Ok;
}

DsResult PrimaryBuffer::GetFormat(WaveFormat& format) const {
  format = format_;
  return DsResult::Ok;
}

}  // namespace varnkit::audio
