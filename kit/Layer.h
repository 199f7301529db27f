#pragma once
// One velocity layer of a pad: a sample file, the lowest velocity at which it sounds, and the
// sound buffer that holds the whole sample.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/SoundBuffer.h"
#include "platform/audio/WaveFormat.h"

namespace varnkit {

class preset;

// All members: user-interface thread.
class Layer {
 public:
  Layer() = default;
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  int32_t VelStart = 0;
  std::string filename;  // without folder
  std::string path;      // folder, without a trailing "/"
  double VolLeft = 0;    // kept and handed on, never applied
  double Volright = 0;
  bool playNorm = false;  // plays through the plain player: its buffer could not be made
  std::string key;        // its key in the pad's layer collection
  preset* parent = nullptr;

  // Prepares the sound of File (path + "/" + filename). False only when the file does not
  // exist; when the device cannot take it the layer falls back to the plain player for good.
  bool CBuffer(const std::string& File);
  // Starts the sample from its beginning at the level of velocity Vol (0 to 127).
  void Play(int16_t Vol);
  // Stops the sound; the next Play rewinds.
  void stopd();
  // The highest velocity this layer sounds at: one below the next higher layer of its pad.
  int32_t velEnd() const;

  // The level Play sets for a velocity: -4000 (velocity 0) to 0 (127), in hundredths of a dB.
  static int32_t levelOf(int16_t Vol);
  // The sound buffer, or null in plain mode.
  const audio::SoundBuffer* buffer() const { return buffer_.get(); }

 private:
  std::string fullPath() const { return path + "/" + filename; }

  audio::BufferDesc desc_;
  audio::WaveFormat format_;
  std::unique_ptr<audio::SoundBuffer> buffer_;
};

}  // namespace varnkit
