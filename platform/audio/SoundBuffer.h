#pragma once
// A secondary sound buffer: one whole sample in memory that can be rewound, given a level,
// played once and stopped, as often as the caller likes and without clicks.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "platform/audio/Result.h"
#include "platform/audio/WaveFormat.h"

namespace varnkit::audio {

struct Stage;

inline constexpr uint32_t DSBCAPS_PRIMARYBUFFER = 0x1;
inline constexpr uint32_t DSBCAPS_CTRLFREQUENCY = 0x20;
inline constexpr uint32_t DSBCAPS_CTRLPAN = 0x40;
inline constexpr uint32_t DSBCAPS_CTRLVOLUME = 0x80;
inline constexpr uint32_t DSBPLAY_LOOPING = 0x1;
inline constexpr uint32_t DSBSTATUS_PLAYING = 0x1;
inline constexpr uint32_t DSBSTATUS_LOOPING = 0x4;
inline constexpr int32_t DSBVOLUME_MIN = -10000;
inline constexpr int32_t DSBVOLUME_MAX = 0;

// What a buffer is asked to be: its capability flags; the size of a buffer made from a file
// comes from the file.
struct BufferDesc {
  uint32_t flags = 0;
  uint32_t bufferBytes = 0;
};

// All members: user-interface thread.
class SoundBuffer {
 public:
  // source: the file the samples came from ("" for none), to make them again from.
  SoundBuffer(std::shared_ptr<Stage> stage, std::unique_ptr<engine::Voice> voice,
              const WaveFormat& fileFormat, uint32_t flags, std::string source = "");
  ~SoundBuffer();
  SoundBuffer(const SoundBuffer&) = delete;
  SoundBuffer& operator=(const SoundBuffer&) = delete;

  // Moves the play position, in bytes of 16-bit PCM with the buffer's channels at the
  // device's rate. A playing buffer goes on from there at once; its old sound fades out.
  DsResult SetCurrentPosition(uint32_t bytes);
  // Level in hundredths of a decibel, -10000 (silence) to 0 (full level).
  DsResult SetVolume(int32_t level);
  DsResult GetVolume(int32_t& level) const;
  // Starts playing from the current position; flags 0 plays once, DSBPLAY_LOOPING loops.
  DsResult Play(uint32_t flags);
  // Fades the sound out over a couple of milliseconds; the position stays where it was.
  DsResult Stop();
  // DSBSTATUS_PLAYING (and DSBSTATUS_LOOPING) while the buffer sounds.
  DsResult GetStatus(uint32_t& status) const;

  bool playing() const;
  uint32_t flags() const { return flags_; }
  // The format of the file the buffer was made from.
  const WaveFormat& fileFormat() const { return format_; }
  // Length in frames at the device's rate.
  uint64_t frames() const { return voice_->data.frames; }
  uint32_t channels() const { return voice_->data.channels; }
  // The voice the engine knows the buffer by, for the kit descriptions it plays.
  engine::Voice* voice() const { return voice_; }

  // The rate the samples are held at: the engine's when the buffer was made or last remade.
  uint32_t sampleRate() const { return rate_; }
  // Makes the samples again at the engine's present rate, from the source file when it still
  // reads and from the samples in memory otherwise; stopped, with its level kept. Only while
  // the engine is detached.
  void remake();

 private:
  DsResult post(const engine::Command& c);

  std::shared_ptr<Stage> stage_;
  engine::Voice* voice_;  // handed to the engine on destruction
  WaveFormat format_;
  uint32_t flags_;
  std::string source_;
  uint32_t rate_;
  int32_t level_ = 0;
  uint32_t serial_ = 0;
  bool playing_ = false;
  bool looping_ = false;
};

}  // namespace varnkit::audio
