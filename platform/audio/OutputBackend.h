#pragma once
// Where the engine's output goes: a sound server's stream, or nowhere (offline rendering).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/audio/Result.h"

namespace varnkit::engine {
class Engine;
}

namespace varnkit::audio {

class FrameClock;

enum class SoundApi { Jack, PipeWire, Pulse, Alsa };

// The service's name as shown to people.
std::string apiName(SoundApi api);

// Which output the program asked for.
struct OutputChoice {
  // None: JACK, then PipeWire, then PulseAudio, then ALSA, the first that works.
  std::optional<SoundApi> only;
  unsigned bufferFrames = 0;  // per block, asked of PipeWire, PulseAudio or ALSA; 0: defaults
};

class OutputBackend {
 public:
  virtual ~OutputBackend() = default;
  // The rate the stream runs at; the engine runs at it too.
  virtual uint32_t sampleRate() const = 0;
  // Which sound service carries the stream ("JACK", "PipeWire", "PulseAudio", "ALSA", "offline").
  virtual std::string name() const = 0;
  // Starts calling engine.render on the audio thread. User-interface thread.
  virtual DsResult start(engine::Engine& engine) = 0;
  // Stops and closes the stream; no render call happens after it returns.
  virtual void stop() noexcept = 0;
  // True when the caller renders (offline): nothing calls the engine on its own.
  virtual bool offline() const { return false; }
  // Offline: the caller has rendered frames more.
  virtual void rendered(uint32_t /*frames*/) {}
  // The stream's frame clock, or null when the service offers none to go by.
  virtual std::shared_ptr<const FrameClock> clock() const { return nullptr; }
  // True once the stream is gone for good: its server went away, its device failed, or it
  // stopped calling. User-interface thread, a few times a second.
  virtual bool lost() noexcept { return false; }
};

}  // namespace varnkit::audio
