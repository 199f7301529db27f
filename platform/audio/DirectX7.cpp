#include "platform/audio/DirectX7.h"

namespace varnkit::audio {

DirectX7::DirectX7()
    : opener_([](const std::string& deviceId) -> Result<std::unique_ptr<Device>> {
        if (!deviceId.empty())
          return Failure{DsResult::NoDriver, "No sound device \"" + deviceId + "\""};
        return Device::openDefault();
      }) {}

}  // namespace varnkit::audio
