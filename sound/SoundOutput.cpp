#include "sound/SoundOutput.h"

#include <string>

#include "platform/Error.h"
#include "platform/audio/PlainPlayer.h"

namespace varnkit {
namespace {

struct SoundState {
  std::unique_ptr<audio::DirectX7> root;
  std::unique_ptr<audio::Device> device;
  audio::BufferDesc primaryDesc;
  audio::WaveFormat primaryFormat;
  std::shared_ptr<audio::PrimaryBuffer> primary;
};

SoundState& state() {
  static SoundState s;
  return s;
}

[[noreturn]] void raise(audio::DsResult code, const std::string& text) {
  throw Error(int32_t(code), text);
}

void check(audio::DsResult code, const std::string& what) {
  if (!audio::succeeded(code)) raise(code, what);
}

}  // namespace

void InitSound(uint32_t hWnd) {
  SoundState& s = state();
  if (!s.root) s.root = std::make_unique<audio::DirectX7>();

  auto device = s.root->DirectSoundCreate("");
  if (!device.ok())
    raise(device.failure().code, "The sound device could not be opened: " + device.failure().text);
  s.device = std::move(device).value();
  audio::PlainPlayer::useDevice(s.device.get());

  check(s.device->SetCooperativeLevel(hWnd, audio::DSSCL_PRIORITY),
        "The sound device refused priority access.");

  s.primaryDesc = audio::BufferDesc{audio::DSBCAPS_PRIMARYBUFFER, 0};
  auto primary = s.device->CreateSoundBuffer(s.primaryDesc, s.primaryFormat);
  if (!primary.ok())
    raise(primary.failure().code,
          "The primary sound buffer could not be made: " + primary.failure().text);
  s.primary = std::move(primary).value();

  s.primaryFormat = audio::WaveFormat{audio::WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 22};
  check(s.primary->SetFormat(s.primaryFormat),
        "The sound device refused the format 16-bit stereo at 44100 Hz.");
}

audio::Device* SoundDevice() {
  return state().device.get();
}

audio::PrimaryBuffer* PrimaryBuffer() {
  return state().primary.get();
}

void SetDirectX7(std::unique_ptr<audio::DirectX7> root) {
  state().root = std::move(root);
}

void CloseSound() {
  SoundState& s = state();
  s.primary.reset();
  s.device.reset();
  s.root.reset();
}

}  // namespace varnkit
