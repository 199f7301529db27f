#include "platform/audio/SoundBuffer.h"

#include <cmath>
#include <optional>

#include "engine/Level.h"
#include "platform/audio/SampleFile.h"
#include "platform/audio/Stage.h"

namespace varnkit::audio {

using engine::Command;

SoundBuffer::SoundBuffer(std::shared_ptr<Stage> stage, std::unique_ptr<engine::Voice> voice,
                         const WaveFormat& fileFormat, uint32_t flags, std::string source)
    : stage_(std::move(stage)),
      voice_(voice.release()),
      format_(fileFormat),
      flags_(flags),
      source_(std::move(source)),
      rate_(stage_->engine.sampleRate()) {
  stage_->buffers.push_back(this);
}

SoundBuffer::~SoundBuffer() {
  std::erase(stage_->buffers, this);
  stage_->engine.release(voice_);
  stage_->engine.collect();
}

void SoundBuffer::remake() {
  const uint32_t rate = stage_->engine.sampleRate();
  if (!stage_->engine.detached() || rate == rate_) return;
  std::optional<SampleData> data;
  if (!source_.empty()) {
    auto decoded = decodeSampleFile(source_, rate);
    if (decoded.ok()) data = std::move(decoded.value().data);
  }
  if (!data) {
    auto resampled = resampleData(voice_->data, rate_, rate);
    if (!resampled.ok()) return;  // it keeps its old samples: a wrong pitch beats silence
    data = std::move(resampled).value();
  }
  stage_->engine.release(voice_);
  voice_ = new engine::Voice(std::move(*data));
  voice_->gain = voice_->target = engine::gainOfLevel(level_);
  rate_ = rate;
  playing_ = false;
}

DsResult SoundBuffer::post(const Command& c) {
  stage_->engine.collect();
  return stage_->engine.post(c) ? DsResult::Ok : DsResult::Generic;
}

DsResult SoundBuffer::SetCurrentPosition(uint32_t bytes) {
  const uint64_t frame = bytes / (2u * voice_->data.channels);
  if (frame > voice_->data.frames) return DsResult::InvalidParam;
  Command c;
  c.op = Command::Op::Rewind;
  c.voice = voice_;
  c.frame = frame;
  return post(c);
}

DsResult SoundBuffer::SetVolume(int32_t level) {
  if ((flags_ & DSBCAPS_CTRLVOLUME) == 0) return DsResult::ControlUnavail;
  if (level < DSBVOLUME_MIN || level > DSBVOLUME_MAX) return DsResult::InvalidParam;
  Command c;
  c.op = Command::Op::SetGain;
  c.voice = voice_;
  c.gain = engine::gainOfLevel(level);
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
  c.voice = voice_;
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
  c.voice = voice_;
  const DsResult r = post(c);
  if (succeeded(r)) playing_ = false;
  return r;
}

bool SoundBuffer::playing() const {
  if (!playing_) return false;
  return looping_ || voice_->endedSerial.load(std::memory_order_acquire) != serial_;
}

DsResult SoundBuffer::GetStatus(uint32_t& status) const {
  status = 0;
  if (playing()) status = DSBSTATUS_PLAYING | (looping_ ? DSBSTATUS_LOOPING : 0);
  return DsResult::Ok;
}

}  // namespace varnkit::audio
