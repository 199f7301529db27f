#include "platform/audio/Device.h"

#include <cstdlib>
#include <stdexcept>

#include "platform/audio/PlainPlayer.h"
#include "platform/audio/RtAudioOutput.h"
#include "platform/audio/SampleFile.h"

namespace varnkit::audio {
namespace {

class OfflineOutput final : public OutputBackend {
 public:
  explicit OfflineOutput(uint32_t rate) : rate_(rate) {}
  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override { return "offline"; }
  DsResult start(Mixer&) override { return DsResult::Ok; }
  void stop() noexcept override {}
  bool offline() const override { return true; }

 private:
  uint32_t rate_;
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

std::unique_ptr<Device> Device::openOffline(uint32_t sampleRate) {
  return std::unique_ptr<Device>(new Device(std::make_unique<OfflineOutput>(sampleRate)));
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

void Device::render(float* out, uint32_t frames) {
  if (!backend_->offline()) throw std::logic_error("render() is for offline devices");
  mixer_->render(out, frames);
  mixer_->collect();
}

std::vector<float> Device::render(uint32_t frames) {
  std::vector<float> out(2 * std::size_t(frames));
  render(out.data(), frames);
  return out;
}

}  // namespace varnkit::audio
