#pragma once
// The sound device: one output stream, its engine, its primary buffer and the buffers made on it.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio/FrameClock.h"
#include "platform/audio/OutputBackend.h"
#include "platform/audio/PrimaryBuffer.h"
#include "platform/audio/Result.h"
#include "platform/audio/SampleFile.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/audio/Stage.h"

namespace varnkit::audio {

class PlainPlayer;

// All members: user-interface thread.
class Device {
 public:
  // Opens a stream, and opens one again the same way after a loss.
  using BackendOpener = std::function<Result<std::unique_ptr<OutputBackend>>()>;

  // Opens the default output of the first sound service that works: JACK, PulseAudio, ALSA;
  // or only the service choice names. After a loss it opens again the same way.
  static Result<std::unique_ptr<Device>> openDefault(const std::string& clientName = "VarnKit",
                                                     const OutputChoice& choice = {});
  // A device on what opener opens, started.
  static Result<std::unique_ptr<Device>> open(BackendOpener opener);
  // A device with no stream: the caller renders its output with render(), on its own thread.
  // With a clock period, it keeps a frame clock of the frames rendered, in cycles of that
  // many frames.
  static std::unique_ptr<Device> openOffline(uint32_t sampleRate = 44100, uint32_t clockPeriod = 0);
  // Stops the stream first; buffers that outlive the device fall silent and stay safe to use.
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  DsResult SetCooperativeLevel(uint32_t window, uint32_t level);
  // The primary buffer, for a description with DSBCAPS_PRIMARYBUFFER; the format passed here
  // is not taken, SetFormat on the buffer is. Every call gives the same buffer.
  Result<std::shared_ptr<PrimaryBuffer>> CreateSoundBuffer(const BufferDesc& desc,
                                                           const WaveFormat& format);
  // A secondary buffer holding the whole file at the device's rate; fileFormat receives the
  // file's own format.
  Result<std::unique_ptr<SoundBuffer>> CreateSoundBufferFromFile(const std::string& path,
                                                                 const BufferDesc& desc,
                                                                 WaveFormat& fileFormat);
  // From now on the buffers made from files hold at most this many samples in all (every
  // channel counted): a file that would pass what is left is refused. For a kit being
  // imported, whose sources nothing else bounds.
  void limitDecoding(uint64_t samples) { budget_ = DecodeBudget{samples, false}; }
  // True once a file was refused for passing that limit.
  bool decodingLimitPassed() const { return budget_ && budget_->passed; }

  uint32_t sampleRate() const { return stage_->engine.sampleRate(); }
  // The sound service carrying the output, "offline" when the caller renders.
  std::string serviceName() const { return backend_->name(); }
  const CooperativeLevel& cooperativeLevel() const { return *coop_; }
  // The one-sound-at-a-time player on this device.
  PlainPlayer& plainPlayer() { return *plain_; }
  engine::Engine& engine() { return stage_->engine; }
  // The buffers alive on this device.
  const std::vector<SoundBuffer*>& buffers() const { return stage_->buffers; }

  // The stream's frame clock; null when the service has none to go by (the device then does
  // everything at once).
  std::shared_ptr<const FrameClock> frameClock() const { return backend_->clock(); }
  // Commands to this device's buffers take effect this many cycles after the cycle they
  // were asked for in: enough for a request to travel from the MIDI thread through the window
  // to the engine, so that every hit keeps the same delay.
  static constexpr uint32_t kTimedCycles = 2;
  // Commands posted from now on take effect kTimedCycles after the cycle starting at frame
  // cycle of frameClock(); on a device without a clock, at once as ever.
  void timeCommandsFrom(uint32_t cycle);
  // Commands posted from now on take effect at once.
  void untimeCommands() { stage_->engine.clearDue(); }

  // True once the stream is gone (see OutputBackend::lost); then goSilent(). A few times a
  // second is often enough.
  bool lost();
  // Lets go of the lost stream. Until the device comes back every buffer keeps working
  // without a sound and without anything piling up (engine::Engine::detach).
  void goSilent();
  bool silent() const { return silent_; }
  // While silent: opens a stream the way the first one was opened. True: it plays again.
  // False: it runs at another rate, and remakeSome() must first make the buffers again.
  // A failure: still silent.
  Result<bool> reopen();
  // While buffers wait to be made again: makes some for about budget; true once all are
  // made and the device plays again. False with remaking() false: the stream did not start.
  bool remakeSome(std::chrono::milliseconds budget);
  bool remaking() const { return silent_ && !toRemake_.empty(); }

  // Offline devices only: mixes the next frames into out (interleaved stereo).
  void render(float* out, uint32_t frames);
  std::vector<float> render(uint32_t frames);

 private:
  explicit Device(std::unique_ptr<OutputBackend> backend, BackendOpener opener = nullptr);
  bool startStream();
  bool play();

  std::unique_ptr<OutputBackend> backend_;
  BackendOpener opener_;
  bool silent_ = false;
  std::vector<SoundBuffer*> toRemake_;
  std::shared_ptr<Stage> stage_;
  std::shared_ptr<CooperativeLevel> coop_;
  std::shared_ptr<PrimaryBuffer> primary_;
  std::unique_ptr<PlainPlayer> plain_;
  std::optional<DecodeBudget> budget_;
};

// Times the device's commands from a device cycle while it lives. User-interface thread.
class TimedCommands {
 public:
  // No cycle: the commands take effect at once.
  TimedCommands(Device* device, std::optional<uint32_t> cycle) : device_(cycle ? device : nullptr) {
    if (device_ != nullptr) device_->timeCommandsFrom(*cycle);
  }
  ~TimedCommands() {
    if (device_ != nullptr) device_->untimeCommands();
  }
  TimedCommands(const TimedCommands&) = delete;
  TimedCommands& operator=(const TimedCommands&) = delete;

 private:
  Device* device_;
};

}  // namespace varnkit::audio
