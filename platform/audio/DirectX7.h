#pragma once
// The root object that makes sound devices.

#include <functional>
#include <memory>
#include <string>

#include "platform/audio/Device.h"

namespace varnkit::audio {

class DirectX7 {
 public:
  using Opener = std::function<Result<std::unique_ptr<Device>>(const std::string& deviceId)>;

  // Opens real devices: the empty identifier is the default output, as choice has it.
  explicit DirectX7(const OutputChoice& choice = {});
  // Opens devices with the given function (an offline device in tests and tools).
  explicit DirectX7(Opener opener) : opener_(std::move(opener)) {}

  // User-interface thread.
  Result<std::unique_ptr<Device>> DirectSoundCreate(const std::string& deviceId) {
    return opener_(deviceId);
  }

 private:
  Opener opener_;
};

}  // namespace varnkit::audio
