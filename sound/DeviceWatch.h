#pragma once
// Keeps the program's sound through a lost device: notices the loss, lets the device go on
// without sound, and opens it again as soon as a sound service is back, remaking the
// buffers a little at a time when the new stream runs at another rate.

#include <chrono>
#include <string>

#include "platform/audio/Device.h"

namespace varnkit {

// What the watch tells the window.
class SoundWatchView {
 public:
  virtual ~SoundWatchView() = default;
  // The device of service is gone; called once per loss. User-interface thread.
  virtual void soundLost(const std::string& service) = 0;
  // Sound plays again, through service. User-interface thread.
  virtual void soundBack(const std::string& service) = 0;
};

// All members: user-interface thread.
class DeviceWatch {
 public:
  using Clock = std::chrono::steady_clock;
  // How often to look at the device, and how often to try to open it again.
  static constexpr std::chrono::milliseconds kLook{250};
  static constexpr std::chrono::milliseconds kRetry{1500};
  // How long one tick may spend remaking buffers before the window gets its turn again.
  static constexpr std::chrono::milliseconds kRemakeSlice{20};

  enum class Phase { Playing, Lost, Remaking };

  DeviceWatch(audio::Device& device, SoundWatchView& view) : device_(device), view_(view) {}

  // Looks at the device and does what its state asks; returns when to tick again.
  std::chrono::milliseconds tick(Clock::time_point now = Clock::now());
  Phase phase() const { return phase_; }

 private:
  void tryAgain(Clock::time_point now);
  void back();

  audio::Device& device_;
  SoundWatchView& view_;
  Phase phase_ = Phase::Playing;
  std::string service_;
  Clock::time_point nextTry_{};
};

}  // namespace varnkit
