#include "sound/DeviceWatch.h"

namespace varnkit {

std::chrono::milliseconds DeviceWatch::tick(Clock::time_point now) {
  switch (phase_) {
    case Phase::Playing:
      if (device_.lost()) {
        service_ = device_.serviceName();
        device_.goSilent();
        phase_ = Phase::Lost;
        nextTry_ = now + kRetry;
        view_.soundLost(service_);
      }
      break;
    case Phase::Lost:
      if (now >= nextTry_) tryAgain(now);
      break;
    case Phase::Remaking:
      if (device_.remakeSome(kRemakeSlice)) {
        back();
      } else if (!device_.remaking()) {
        phase_ = Phase::Lost;  // the new stream did not start
        nextTry_ = now + kRetry;
      }
      break;
  }
  return phase_ == Phase::Remaking ? std::chrono::milliseconds(0) : kLook;
}

void DeviceWatch::tryAgain(Clock::time_point now) {
  nextTry_ = now + kRetry;
  auto opened = device_.reopen();
  if (!opened.ok()) return;
  if (opened.value()) {
    back();
  } else {
    phase_ = Phase::Remaking;
  }
}

void DeviceWatch::back() {
  phase_ = Phase::Playing;
  view_.soundBack(device_.serviceName());
}

}  // namespace varnkit
