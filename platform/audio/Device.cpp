#include "platform/audio/Device.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "platform/audio/FrameClock.h"
#include "platform/audio/JackOutput.h"
#include "platform/audio/PipeWireOutput.h"
#include "platform/audio/PlainPlayer.h"
#include "platform/audio/PulseOutput.h"
#include "platform/audio/RtAudioOutput.h"
#include "platform/audio/SampleFile.h"

namespace varnkit::audio {
namespace {

// The frames an offline device has rendered: the block rendered next starts the cycle.
class OfflineClock final : public FrameClock {
 public:
  explicit OfflineClock(uint32_t period) : period_(period) {}
  uint32_t cycleStart() const noexcept override { return rendered.load(); }
  uint32_t period() const noexcept override { return period_; }
  std::atomic<uint32_t> rendered{0};

 private:
  uint32_t period_;
};

class OfflineOutput final : public OutputBackend {
 public:
  OfflineOutput(uint32_t rate, uint32_t clockPeriod)
      : rate_(rate),
        clock_(clockPeriod > 0 ? std::make_shared<OfflineClock>(clockPeriod) : nullptr) {}
  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override { return "offline"; }
  DsResult start(engine::Engine&) override { return DsResult::Ok; }
  void stop() noexcept override {}
  bool offline() const override { return true; }
  std::shared_ptr<const FrameClock> clock() const override { return clock_; }
  void rendered(uint32_t frames) override {
    if (clock_) clock_->rendered += frames;
  }

 private:
  uint32_t rate_;
  std::shared_ptr<OfflineClock> clock_;
};

Result<std::unique_ptr<OutputBackend>> openService(SoundApi api, const std::string& clientName,
                                                   unsigned bufferFrames) {
  if (api == SoundApi::Jack) {
    auto jack = JackOutput::open();
    if (!jack.ok()) return jack.failure();
    return std::unique_ptr<OutputBackend>(std::move(jack).value());
  }
  if (api == SoundApi::PipeWire) {
    auto pipewire = PipeWireOutput::open(clientName, bufferFrames);
    if (!pipewire.ok()) return pipewire.failure();
    return std::unique_ptr<OutputBackend>(std::move(pipewire).value());
  }
  if (api == SoundApi::Pulse) {
    auto pulse = PulseOutput::open(clientName, bufferFrames);
    if (!pulse.ok()) return pulse.failure();
    return std::unique_ptr<OutputBackend>(std::move(pulse).value());
  }
  auto out = RtAudioOutput::open(api, clientName, bufferFrames);
  if (!out.ok()) return out.failure();
  return std::unique_ptr<OutputBackend>(std::move(out).value());
}

}  // namespace

Device::Device(std::unique_ptr<OutputBackend> backend, BackendOpener opener)
    : backend_(std::move(backend)),
      opener_(std::move(opener)),
      stage_(std::make_shared<Stage>(backend_->sampleRate())),
      coop_(std::make_shared<CooperativeLevel>()),
      plain_(std::make_unique<PlainPlayer>(*this)) {}

Device::~Device() {
  PlainPlayer::forgetDevice(this);
  backend_->stop();
  plain_.reset();
}

Result<std::unique_ptr<Device>> Device::openDefault(const std::string& clientName,
                                                    const OutputChoice& choice) {
  // Probing JACK must not start a server of its own on a machine that has none.
  setenv("JACK_NO_START_SERVER", "1", 0);
  return open([clientName, choice]() -> Result<std::unique_ptr<OutputBackend>> {
    std::string reasons;
    for (SoundApi api : {SoundApi::Jack, SoundApi::PipeWire, SoundApi::Pulse, SoundApi::Alsa}) {
      if (choice.only && *choice.only != api) continue;
      auto out = openService(api, clientName, choice.bufferFrames);
      if (out.ok()) return std::move(out).value();
      reasons += "; " + apiName(api) + ": " + out.failure().text;
    }
    return Failure{DsResult::NoDriver, "No usable sound output device" + reasons};
  });
}

Result<std::unique_ptr<Device>> Device::open(BackendOpener opener) {
  auto backend = opener();
  if (!backend.ok()) return backend.failure();
  std::unique_ptr<Device> device(new Device(std::move(backend).value(), std::move(opener)));
  if (!device->startStream())
    return Failure{DsResult::NoDriver, "No usable sound output device; " + device->serviceName() +
                                           ": the stream did not start"};
  return device;
}

bool Device::startStream() {
  return succeeded(backend_->start(stage_->engine));
}

bool Device::lost() {
  return !silent_ && backend_->lost();
}

void Device::goSilent() {
  if (silent_) return;
  backend_->stop();  // from here on nothing renders
  stage_->engine.detach();
  silent_ = true;
}

Result<bool> Device::reopen() {
  if (!silent_) return true;
  if (!opener_) return Failure{DsResult::NoDriver, "this device cannot be opened again"};
  auto backend = opener_();
  if (!backend.ok()) return backend.failure();
  backend_ = std::move(backend).value();
  if (backend_->sampleRate() != stage_->engine.sampleRate()) {
    stage_->engine.setRate(backend_->sampleRate());
    toRemake_ = stage_->buffers;
    return false;
  }
  if (!play()) return Failure{DsResult::NoDriver, serviceName() + ": the stream did not start"};
  return true;
}

bool Device::remakeSome(std::chrono::milliseconds budget) {
  if (!silent_) return true;
  const auto until = std::chrono::steady_clock::now() + budget;
  // Newest first; a buffer that went away meanwhile has left the stage's list.
  while (!toRemake_.empty()) {
    SoundBuffer* buffer = toRemake_.back();
    toRemake_.pop_back();
    if (std::ranges::find(stage_->buffers, buffer) != stage_->buffers.end()) buffer->remake();
    if (std::chrono::steady_clock::now() >= until) break;
  }
  return toRemake_.empty() && play();
}

// Starts the reopened stream; false (and still silent) when it does not start.
bool Device::play() {
  stage_->engine.attach();
  if (startStream()) {
    silent_ = false;
    return true;
  }
  backend_->stop();
  stage_->engine.detach();
  return false;
}

std::unique_ptr<Device> Device::openOffline(uint32_t sampleRate, uint32_t clockPeriod) {
  return std::unique_ptr<Device>(
      new Device(std::make_unique<OfflineOutput>(sampleRate, clockPeriod)));
}

DsResult Device::SetCooperativeLevel(uint32_t window, uint32_t level) {
  if (level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) return DsResult::InvalidParam;
  coop_->window = window;
  coop_->level = level;
  return DsResult::Ok;
}

Result<std::shared_ptr<PrimaryBuffer>> Device::CreateSoundBuffer(const BufferDesc& desc,
                                                                 const WaveFormat& /*format*/) {
  if ((desc.flags & DSBCAPS_PRIMARYBUFFER) == 0)
    return Failure{DsResult::InvalidCall, "only the primary buffer is made without a file"};
  if (!primary_) primary_ = std::make_shared<PrimaryBuffer>(coop_);
  return primary_;
}

Result<std::unique_ptr<SoundBuffer>> Device::CreateSoundBufferFromFile(const std::string& path,
                                                                       const BufferDesc& desc,
                                                                       WaveFormat& fileFormat) {
  if ((desc.flags & DSBCAPS_PRIMARYBUFFER) != 0)
    return Failure{DsResult::InvalidParam, "a primary buffer cannot be made from a file"};
  stage_->engine.collect();
  auto decoded = decodeSampleFile(path, sampleRate(), budget_ ? &*budget_ : nullptr);
  if (!decoded.ok()) return decoded.failure();
  fileFormat = decoded.value().format;
  auto voice = std::make_unique<engine::Voice>(std::move(decoded.value().data));
  return std::make_unique<SoundBuffer>(stage_, std::move(voice), fileFormat, desc.flags, path);
}

void Device::timeCommandsFrom(uint32_t cycle) {
  if (const auto clock = backend_->clock())
    stage_->engine.setDue(cycle + kTimedCycles * clock->period());
}

void Device::render(float* out, uint32_t frames) {
  if (!backend_->offline()) throw std::logic_error("render() is for offline devices");
  stage_->engine.render(out, frames);
  backend_->rendered(frames);
  stage_->engine.collect();
}

std::vector<float> Device::render(uint32_t frames) {
  std::vector<float> out(2 * std::size_t(frames));
  render(out.data(), frames);
  return out;
}

}  // namespace varnkit::audio
