#include "platform/audio/DirectX7.h"

namespace varnkit::audio {

DirectX7::DirectX7(const OutputChoice& choice)
    : opener_([choice](const std::string& deviceId) -> Result<std::unique_ptr<Device>> {
        if (!deviceId.empty())
          return Failure{DsResult::NoDriver, "No sound device \"" + deviceId + "\""};
        return Device::openDefault("VarnKit", choice);
      }) {}

}  // namespace varnkit::audio
