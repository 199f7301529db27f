#include "platform/audio/Device.h"

#include <atomic>
#include <cstdlib>
#include <stdexcept>

#include "platform/audio/FrameClock.h"
#include "platform/audio/PlainPlayer.h"
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
  DsResult start(Mixer&) override { return DsResult::Ok; }
  void stop() noexcept override {}
  bool offline() const override { return true; }
  std::shared_ptr<const FrameClock> clock() const override { return clock_; }
  void rendered(uint32_t frames) {
    if (clock_) clock_->rendered += frames;
  }

 private:
  uint32_t rate_;
  std::shared_ptr<OfflineClock> clock_;
};

}  // namespace

Device::Device(std::unique_ptr<OutputBackend> backend)
    : backend_(std::move(backend)),
      mixer_(std::make_shared<Mixer>(backend_->sampleRate())),
      coop_(std::make_shared<CooperativeLevel>()),
      plain_(std::make_unique<PlainPlayer>(*this)) {}

Device::~Device() {
  PlainPlayer::forgetDevice(this);
  backend_->stop();
  plain_.reset();
}

Result<std::unique_ptr<Device>> Device::openDefault(const std::string& clientName) {
  // Probing JACK must not start a server of its own on a machine that has none.
  setenv("JACK_NO_START_SERVER", "1", 0);
  std::string reasons;
  for (SoundApi api : {SoundApi::Jack, SoundApi::Pulse, SoundApi::Alsa}) {
    auto out = RtAudioOutput::open(api, clientName);
    if (!out.ok()) {
      reasons += "; " + apiName(api) + ": " + out.failure().text;
      continue;
    }
    std::unique_ptr<Device> device(new Device(std::move(out).value()));
    if (succeeded(device->backend_->start(*device->mixer_))) return device;
    reasons += "; " + apiName(api) + ": the stream did not start";
  }
  return Failure{DsResult::NoDriver, "No usable sound output device" + reasons};
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
  mixer_->collect();
  auto decoded = decodeWaveFile(path, sampleRate());
  if (!decoded.ok()) return decoded.failure();
  fileFormat = decoded.value().format;
  auto core = std::make_unique<BufferCore>(std::move(decoded.value().data));
  return std::make_unique<SoundBuffer>(mixer_, std::move(core), fileFormat, desc.flags);
}

void Device::timeCommandsFrom(uint32_t cycle) {
  if (const auto clock = backend_->clock()) mixer_->setDue(cycle + kTimedCycles * clock->period());
}

void Device::render(float* out, uint32_t frames) {
  if (!backend_->offline()) throw std::logic_error("render() is for offline devices");
  mixer_->render(out, frames);
  static_cast<OfflineOutput&>(*backend_).rendered(frames);
  mixer_->collect();
}

std::vector<float> Device::render(uint32_t frames) {
  std::vector<float> out(2 * std::size_t(frames));
  render(out.data(), frames);
  return out;
}

}  // namespace varnkit::audio
