#include "platform/audio/RtAudioOutput.h"

#include <rtaudio/RtAudio.h>

#include <algorithm>
#include <exception>

#include "engine/Engine.h"

namespace varnkit::audio {
namespace {

RtAudio::Api rtApi(SoundApi api) {
  switch (api) {
    case SoundApi::Jack:
      return RtAudio::UNIX_JACK;
    case SoundApi::PipeWire:
      return RtAudio::UNSPECIFIED;  // a back-end of its own
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

// The stream whose blocks this thread renders. RtAudio tells of a failed write on that same
// thread, right after the block, and its error callback carries no pointer of ours.
thread_local RtAudioOutput* renderingStream = nullptr;

int renderCallback(void* out, void* /*in*/, unsigned frames, double /*time*/,
                   RtAudioStreamStatus /*status*/, void* self) noexcept {
  renderingStream = static_cast<RtAudioOutput*>(self);
  return renderingStream->process(static_cast<float*>(out), frames);
}

// Stream errors after start must not throw on RtAudio's thread. One on the stream's own
// thread is a block that did not reach the device, unless it tells of an underrun, after
// which RtAudio writes on as ever.
void noteStreamError(RtAudioError::Type, const std::string& text) {
  if (renderingStream != nullptr && text.find("write error, underrun") == std::string::npos)
    renderingStream->writeFailed();
}

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
    case SoundApi::PipeWire:
      return "PipeWire";
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
                             &renderCallback, self.get(), &options, &noteStreamError);
    self->rate_ = self->audio_->getStreamSampleRate();
    self->frames_ = frames;
    return self;
  } catch (const std::exception& e) {
    return Failure{DsResult::NoDriver, e.what()};
  }
}

DsResult RtAudioOutput::start(engine::Engine& engine) {
  engine_ = &engine;
  watch_.started(StreamWatch::Clock::now(),
                 std::chrono::nanoseconds(uint64_t(frames_) * 1'000'000'000 / rate_));
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
  return watch_.render(*engine_, out, frames) ? 0 : 2;
}

bool RtAudioOutput::lost() noexcept {
  if (engine_ == nullptr) return false;
  return !audio_->isStreamRunning() || watch_.lost(StreamWatch::Clock::now());
}

}  // namespace varnkit::audio
