#pragma once
// A sound service the test controls: its streams are rendered by the test (offline), can be
// lost, and open again at the rate the test chooses, or not at all.

#include <atomic>
#include <memory>
#include <string>

#include "platform/audio/Device.h"
#include "platform/audio/FrameClock.h"

namespace varnkit::testing {

struct FakeService {
  bool lost = false;      // the stream in use has gone
  bool available = true;  // a new stream can be opened
  uint32_t rate = 44100;  // the rate of the next stream
  int opened = 0;
  std::string name = "Fake";  // the service the streams say they are on
  uint32_t clockPeriod = 0;   // > 0: the streams keep a frame clock of the frames rendered
};

// The frames rendered on a stream: the block rendered next starts the cycle.
class FakeClock final : public audio::FrameClock {
 public:
  explicit FakeClock(uint32_t period) : period_(period) {}
  uint32_t cycleStart() const noexcept override { return rendered.load(); }
  uint32_t period() const noexcept override { return period_; }
  std::atomic<uint32_t> rendered{0};

 private:
  uint32_t period_;
};

class FakeStream final : public audio::OutputBackend {
 public:
  explicit FakeStream(std::shared_ptr<FakeService> service)
      : service_(std::move(service)),
        rate_(service_->rate),
        clock_(service_->clockPeriod > 0 ? std::make_shared<FakeClock>(service_->clockPeriod)
                                         : nullptr) {}
  uint32_t sampleRate() const override { return rate_; }
  std::string name() const override { return service_->name; }
  audio::DsResult start(engine::Engine&) override { return audio::DsResult::Ok; }
  void stop() noexcept override {}
  bool offline() const override { return true; }
  bool lost() noexcept override { return service_->lost; }
  std::shared_ptr<const audio::FrameClock> clock() const override { return clock_; }
  void rendered(uint32_t frames) override {
    if (clock_) clock_->rendered += frames;
  }

 private:
  std::shared_ptr<FakeService> service_;
  uint32_t rate_;
  std::shared_ptr<FakeClock> clock_;
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
