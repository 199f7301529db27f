#include "platform/audio/SoundBuffer.h"

#include <cmath>
#include <optional>

#include "platform/audio/SampleFile.h"

namespace varnkit::audio {

float gainOfLevel(int32_t level) noexcept {
  return float(std::pow(10.0, double(level) / 2000.0));
}

SoundBuffer::SoundBuffer(std::shared_ptr<Mixer> mixer, std::unique_ptr<BufferCore> core,
                         const WaveFormat& fileFormat, uint32_t flags, std::string source)
    : mixer_(std::move(mixer)),
      core_(core.release()),
      format_(fileFormat),
      flags_(flags),
      source_(std::move(source)),
      rate_(mixer_->sampleRate()) {
  mixer_->enlist(this);
}

SoundBuffer::~SoundBuffer() {
  mixer_->delist(this);
  mixer_->release(core_);
  mixer_->collect();
}

void SoundBuffer::remake() {
  const uint32_t rate = mixer_->sampleRate();
  if (!mixer_->detached() || rate == rate_) return;
  std::optional<SampleData> data;
  if (!source_.empty()) {
    auto decoded = decodeSampleFile(source_, rate);
    if (decoded.ok()) data = std::move(decoded.value().data);
  }
  if (!data) {
    auto resampled = resampleData(core_->data, rate_, rate);
    if (!resampled.ok()) return;  // it keeps its old samples: a wrong pitch beats silence
    data = std::move(resampled).value();
  }
  mixer_->release(core_);
  core_ = new BufferCore(std::move(*data));
  core_->gain = core_->target = gainOfLevel(level_);
  rate_ = rate;
  playing_ = false;
}

DsResult SoundBuffer::post(const Command& c) {
  mixer_->collect();
  return mixer_->post(c) ? DsResult::Ok : DsResult::Generic;
}

DsResult SoundBuffer::SetCurrentPosition(uint32_t bytes) {
  const uint64_t frame = bytes / (2u * core_->data.channels);
  if (frame > core_->data.frames) return DsResult::InvalidParam;
  Command c;
  c.op = Command::Op::Rewind;
  c.core = core_;
  c.frame = frame;
  return post(c);
}

DsResult SoundBuffer::SetVolume(int32_t level) {
  if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) return DsResult::ControlUnavail;
  if (level < DSBVOLUME_MIN || level > DSBVOLUME_MAX) return DsResult::InvalidParam;
  Command c;
  c.op = Command::Op::SetGain;
  c.core = core_;
  c.gain = gainOfLevel(level);
  const DsResult r = post(c);
  if (succeeded(r)) level_ = level;
  return r;
}

DsResult SoundBuffer::GetVolume(int32_t& level) const {
  if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) return DsResult::ControlUnavail;
  level = level_;
  return DsResult::Ok;
}

DsResult SoundBuffer::Play(uint32_t flags) {
  if ((flags & ~DSBPLAY_LOOPING) != 0) return DsResult::InvalidParam;
  Command c;
  c.op = Command::Op::Play;
  c.core = core_;
  c.serial = serial_ + 1;
  c.looping = (flags & DSBPLAY_LOOPING) != 0;
  const DsResult r = post(c);
  if (!succeeded(r)) return r;
  serial_ = c.serial;
  playing_ = true;
  looping_ = c.looping;
  return r;
}

DsResult SoundBuffer::Stop() {
  Command c;
  c.op = Command::Op::Stop;
  c.core = core_;
  const DsResult r = post(c);
  if (succeeded(r)) playing_ = false;
  return r;
}

bool SoundBuffer::playing() const {
  if (!playing_) return false;
  return looping_ || core_->endedSerial.load(std::memory_order_acquire) != serial_;
}

DsResult SoundBuffer::GetStatus(uint32_t& status) const {
  status = 0;
  if (playing()) status = DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0);
  return DsResult::Ok;
}

}  // namespace varnkit::audio
