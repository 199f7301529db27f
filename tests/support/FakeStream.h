#pragma once
// A sound service the test controls: its streams are rendered by the test (offline), can be
// lost, and open again at the rate the test chooses, or not at all.

#include <memory>

#include "platform/audio/Device.h"

namespace varnkit::testing {

struct FakeService {
  bool lost = false;      // the stream in use has gone
  bool available = true;  // a new stream can be opened
  uint32_t rate = 44100;  // the rate of the next stream
  int opened = 0;
};

class FakeStream final : public audio::OutputBackend {
 public:
  explicit FakeStream(std::shared_ptr<FakeService> service)
      : service_(std::move(service)), rate_(service_->rate) {}
  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override { return "Fake"; }
  audio::DsResult start(audio::Mixer&) override { return audio::DsResult::Ok; }
  void stop() noexcept override {}
  bool offline() const override { return true; }
  bool lost() noexcept override { return service_->lost; }

 private:
  std::shared_ptr<FakeService> service_;
  uint32_t rate_;
};

// A device on the service, opened again on it after a loss.
inline std::unique_ptr<audio::Device> openFake(std::shared_ptr<FakeService> service) {
  auto device =
      audio::Device::open([service]() -> audio::Result<std::unique_ptr<audio::OutputBackend>> {
        if (!service->available)
          return audio::Failure{audio::DsResult::NoDriver, "nothing answers"};
        service->lost = false;
        ++service->opened;
        return std::unique_ptr<audio::OutputBackend>(new FakeStream(service));
      });
  return device.ok() ? std::move(device).value() : nullptr;
}

}  // namespace varnkit::testing
