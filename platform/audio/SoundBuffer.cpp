#include "platform/audio/SoundBuffer.h"

#include <cmath>

namespace varnkit::audio {

float gainOfLevel(int32_t level) noexcept {
  return float(std::pow(10.0, double(level) / 2000.0));
}

SoundBuffer::SoundBuffer(std::shared_ptr<Mixer> mixer, std::unique_ptr<BufferCore> core,
                         const WaveFormat& fileFormat, uint32_t flags)
    : mixer_(std::move(mixer)), core_(core.release()), format_(fileFormat), flags_(flags) {}

SoundBuffer::~SoundBuffer() {
  mixer_->release(core_);
  mixer_->collect();
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
