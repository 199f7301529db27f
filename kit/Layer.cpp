#include "kit/Layer.h"

#include "platform/Error.h"
#include "engine/Level.h"
#include "kit/KitState.h"
#include "kit/Preset.h"
#include "platform/audio/Device.h"
#include "platform/audio/PlainPlayer.h"
#include "platform/files/Lookup.h"

namespace varnkit {
namespace {

void check(audio::DsResult r, const std::string& what) {
  if (!audio::succeeded(r)) throw Error(int32_t(r), what);
}

// The file as named: "a?.wav" is no pattern, and ".kick.wav" is a sample like any other.
bool fileExists(const std::string& file) {
  return files::FileExists(file);
}

}  // namespace

int32_t Layer::levelOf(int16_t Vol) {
  return engine::levelOfVelocity(Vol);
}

bool Layer::CBuffer(const std::string& File) {
  desc_ = audio::BufferDesc{audio::DSBCAPS_CTRLVOLUME, 0};
  if (!fileExists(File)) return false;
  KitState& state = parent->state();
  if (audio::Device* device = state.soundDevice()) {
    auto made = device->CreateSoundBufferFromFile(File, desc_, format_);
    if (made.ok()) buffer_ = std::move(made).value();
  }
  if (!buffer_) {
    playNorm = true;
    state.SetCaption("VarnKit - x");
  }
  return true;
}

void Layer::Play(int16_t Vol) {
  if (playNorm) {
    audio::sndPlaySoundA(fullPath(), audio::SND_ASYNC);
    return;
  }
  check(buffer_->SetCurrentPosition(0), "The sound of " + filename + " could not be rewound.");
  check(buffer_->SetVolume(levelOf(Vol)),
        "The sound of " + filename + " refused the level of velocity " + std::to_string(Vol) + ".");
  check(buffer_->Play(0), "The sound of " + filename + " could not be played.");
}

void Layer::stopd() {
  if (playNorm) {
    audio::sndPlaySoundA("", audio::SND_NODEFAULT);
    return;
  }
  check(buffer_->Stop(), "The sound of " + filename + " could not be stopped.");
}

int32_t Layer::velEnd() const {
  int32_t r = 127;
  for (const auto& entry : parent->layers()) {
    const int32_t other = entry.item->VelStart;
    if (other > VelStart && other < r) r = other - 1;
  }
  return r;
}

}  // namespace varnkit
