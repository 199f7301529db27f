#pragma once
// The plain player: one sound at a time at full level, started without waiting for it.

#include <cstdint>
#include <memory>
#include <string>

namespace varnkit::audio {

class Device;
class SoundBuffer;

inline constexpr uint32_t SND_SYNC = 0x0;
inline constexpr uint32_t SND_ASYNC = 0x1;
inline constexpr uint32_t SND_NODEFAULT = 0x2;

// All members: user-interface thread.
class PlainPlayer {
 public:
  explicit PlainPlayer(Device& device);
  ~PlainPlayer();
  PlainPlayer(const PlainPlayer&) = delete;
  PlainPlayer& operator=(const PlainPlayer&) = delete;

  // Stops what plays, then plays the file once at full level. False when the file cannot be
  // played; the old sound is stopped all the same.
  bool play(const std::string& file);
  // Silences whatever plays.
  void stop();
  bool playing() const;

  // The device whose player the process-wide sndPlaySoundA uses (null: none).
  static void useDevice(Device* device);
  // Called by a device going away, on whichever thread it lived, so sndPlaySoundA never
  // reaches a dead one.
  static void forgetDevice(Device* device);

 private:
  Device& device_;
  std::unique_ptr<SoundBuffer> sound_;
};

// The process's plain player: plays name (SND_ASYNC: returns at once; it always does), or
// stops the sound when name is empty. False when nothing could be played.
bool sndPlaySoundA(const std::string& name, uint32_t flags);

}  // namespace varnkit::audio
