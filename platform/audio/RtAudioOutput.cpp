#include "platform/audio/RtAudioOutput.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <exception>

#include "platform/audio/Mixer.h"

namespace varnkit::audio {
namespace {

RtAudio::Api rtApi(SoundApi api) {
  switch (api) {
    case SoundApi::Jack:
      return RtAudio::UNIX_JACK;
    case SoundApi::Pulse:
      return RtAudio::LINUX_PULSE;
    case SoundApi::Alsa:
      return RtAudio::LINUX_ALSA;
  }
  return RtAudio::UNSPECIFIED;
}

bool compiledIn(RtAudio::Api api) {
  std::vector<RtAudio::Api> apis;
  RtAudio::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), api) != apis.end();
}

int renderCallback(void* out, void* /*in*/, unsigned frames, double /*time*/,
                   RtAudioStreamStatus /*status*/, void* self) noexcept {
  return static_cast<RtAudioOutput*>(self)->process(static_cast<float*>(out), frames);
}

// Stream errors after start must not throw on RtAudio's thread; the stream falls silent and
// lost() notices.
void ignoreStreamError(RtAudioError::Type, const std::string&) {}

uint32_t chooseRate(const RtAudio::DeviceInfo& info) {
  const auto& rates = info.sampleRates;
  if (rates.empty()) return RtAudioOutput::kPreferredRate;
  if (std::find(rates.begin(), rates.end(), RtAudioOutput::kPreferredRate) != rates.end())
    return RtAudioOutput::kPreferredRate;
  return info.preferredSampleRate != 0 ? info.preferredSampleRate : rates.front();
}

}  // namespace

std::string apiName(SoundApi api) {
  switch (api) {
    case SoundApi::Jack:
      return "JACK";
    case SoundApi::Pulse:
      return "PulseAudio";
    case SoundApi::Alsa:
      return "ALSA";
  }
  return "?";
}

RtAudioOutput::RtAudioOutput(std::unique_ptr<RtAudio> audio, SoundApi api, uint32_t rate)
    : audio_(std::move(audio)), api_(api), rate_(rate) {}

RtAudioOutput::~RtAudioOutput() {
  stop();
}

std::string RtAudioOutput::name() const {
  return apiName(api_);
}

Result<std::unique_ptr<RtAudioOutput>> RtAudioOutput::open(SoundApi api,
                                                           const std::string& clientName,
                                                           unsigned bufferFrames) {
  if (!compiledIn(rtApi(api))) return Failure{DsResult::NoDriver, "not available in this build"};
  try {
    auto audio = std::make_unique<RtAudio>(rtApi(api));
    audio->showWarnings(false);
    if (audio->getDeviceCount() == 0) return Failure{DsResult::NoDriver, "no output device"};
    const unsigned device = audio->getDefaultOutputDevice();
    const RtAudio::DeviceInfo info = audio->getDeviceInfo(device);
    if (info.outputChannels < 2)
      return Failure{DsResult::NoDriver, "the default device has no stereo output"};
    RtAudio::StreamParameters params;
    params.deviceId = device;
    params.nChannels = 2;
    RtAudio::StreamOptions options;
    options.streamName = clientName;
    options.flags = api == SoundApi::Alsa ? RTAUDIO_ALSA_USE_DEFAULT : 0;
    unsigned frames = bufferFrames > 0 ? bufferFrames : kBlockFrames;
    // The callback's user pointer must be the object itself, so make it first.
    std::unique_ptr<RtAudioOutput> self(new RtAudioOutput(std::move(audio), api, chooseRate(info)));
    self->audio_->openStream(&params, nullptr, RTAUDIO_FLOAT32, self->rate_, &frames,
                             &renderCallback, self.get(), &options, &ignoreStreamError);
    self->rate_ = self->audio_->getStreamSampleRate();
    self->frames_ = frames;
    return self;
  } catch (const std::exception& e) {
    return Failure{DsResult::NoDriver, e.what()};
  }
}

DsResult RtAudioOutput::start(Mixer& mixer) {
  mixer_ = &mixer;
  seenAt_ = std::chrono::steady_clock::now();
  try {
    audio_->startStream();
    return DsResult::Ok;
  } catch (const std::exception&) {
    return DsResult::NoDriver;
  }
}

void RtAudioOutput::stop() noexcept {
  try {
    if (audio_ && audio_->isStreamRunning()) audio_->stopStream();
    if (audio_ && audio_->isStreamOpen()) audio_->closeStream();
  } catch (...) {
    // Closing a stream whose server has gone may fail; there is nothing left to release.
  }
}

int RtAudioOutput::process(float* out, unsigned frames) noexcept {
  mixer_->render(out, frames);
  return 0;
}

bool RtAudioOutput::lost() noexcept {
  if (mixer_ == nullptr) return false;
  const auto now = std::chrono::steady_clock::now();
  if (const uint64_t blocks = mixer_->blocksRendered(); blocks != seenBlocks_) {
    seenBlocks_ = blocks;
    seenAt_ = now;
  }
  // Neither service tells of a device that went away: its stream just stops calling.
  return !audio_->isStreamRunning() || now - seenAt_ > kStallLimit;
}

}  // namespace varnkit::audio
