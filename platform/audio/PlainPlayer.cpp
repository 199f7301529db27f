#include "platform/audio/PlainPlayer.h"

#include <atomic>

#include "platform/audio/Device.h"

namespace varnkit::audio {
namespace {

// A device of an import's own thread forgets itself here too.
std::atomic<Device*> processDevice = nullptr;

}  // namespace

PlainPlayer::PlainPlayer(Device& device) : device_(device) {}

PlainPlayer::~PlainPlayer() = default;

bool PlainPlayer::play(const std::string& file) {
  stop();
  sound_.reset();
  WaveFormat format;
  auto made = device_.CreateSoundBufferFromFile(file, BufferDesc{DSBCAPS_CTRLVOLUME, 0}, format);
  if (!made.ok()) return false;
  sound_ = std::move(made).value();
  return succeeded(sound_->Play(0));
}

void PlainPlayer::stop() {
  if (sound_) (void)sound_->Stop();
}

bool PlainPlayer::playing() const {
  return sound_ && sound_->playing();
}

void PlainPlayer::useDevice(Device* device) {
  processDevice = device;
}

void PlainPlayer::forgetDevice(Device* device) {
  processDevice.compare_exchange_strong(device, nullptr);
}

bool sndPlaySoundA(const std::string& name, uint32_t /*flags*/) {
  Device* device = processDevice;
  if (device == nullptr) return false;
  PlainPlayer& player = device->plainPlayer();
  if (name.empty()) {
    player.stop();
    return true;
  }
  return player.play(name);
}

}  // namespace varnkit::audio
