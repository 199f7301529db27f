#pragma once
// A stand-in for an ALSA stream over RtAudio: a thread of its own asks for block after block,
// as RtAudio's does, and writes each to a card the test unplugs and plugs in again. While the
// card is there a write takes as long as its block lasts; once it is gone every write fails at
// once and the thread asks for the next block at once, until the stream asks it to stop.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/audio/Device.h"
#include "platform/audio/StreamWatch.h"

namespace varnkit::testing {

struct FakeCard {
  std::atomic<bool> present{true};
  std::atomic<uint64_t> calls{0};          // blocks asked for, by every stream on the card
  std::atomic<bool> toldOfFailures{true};  // false: a failed write goes untold
  // A fresh stream's first blocks, this much sound, are taken without waiting, as a sound
  // server fills its buffer.
  std::chrono::milliseconds takenAtOnce{0};
  int opened = 0;
};

class FakeAlsaStream final : public audio::OutputBackend {
 public:
  static constexpr uint32_t kFrames = 256;
  static constexpr std::chrono::microseconds kBlockTime{kFrames * 1000000 / 44100};

  explicit FakeAlsaStream(std::shared_ptr<FakeCard> card) : card_(std::move(card)) {}
  ~FakeAlsaStream() override { stop(); }
  uint32_t sampleRate() const override { return 44100; }
  std::string name() const override { return "ALSA"; }
  audio::DsResult start(engine::Engine& mixer) override {
    engine_ = &mixer;
    watch_.started(audio::StreamWatch::Clock::now(), kBlockTime);
    thread_ = std::thread([this] { run(); });
    return audio::DsResult::Ok;
  }
  void stop() noexcept override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  bool lost() noexcept override {
    return stopped_.load() || watch_.lost(audio::StreamWatch::Clock::now());
  }

 private:
  void run() {
    std::vector<float> block(2 * kFrames);
    auto atOnce = std::chrono::duration_cast<std::chrono::microseconds>(card_->takenAtOnce);
    std::unique_lock lock(mutex_);
    while (!quit_) {
      if (stopped_) {  // as RtAudio's thread after an abort: it waits to be started or closed
        wake_.wait(lock, [&] { return quit_; });
        continue;
      }
      lock.unlock();
      ++card_->calls;
      if (!watch_.render(*engine_, block.data(), kFrames))
        stopped_ = true;
      else if (card_->present && atOnce > kBlockTime)
        atOnce -= kBlockTime;
      else if (card_->present)
        std::this_thread::sleep_for(kBlockTime);
      else if (card_->toldOfFailures)
        watch_.writeFailed();
      lock.lock();
    }
  }

  std::shared_ptr<FakeCard> card_;
  engine::Engine* engine_ = nullptr;
  audio::StreamWatch watch_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool quit_ = false;
  std::atomic<bool> stopped_{false};
};

// A device on the card, opened again on it after a loss while the card is there.
inline std::unique_ptr<audio::Device> openFakeAlsa(std::shared_ptr<FakeCard> card) {
  auto device =
      audio::Device::open([card]() -> audio::Result<std::unique_ptr<audio::OutputBackend>> {
        if (!card->present) return audio::Failure{audio::DsResult::NoDriver, "no output device"};
        ++card->opened;
        return std::unique_ptr<audio::OutputBackend>(new FakeAlsaStream(card));
      });
  return device.ok() ? std::move(device).value() : nullptr;
}

}  // namespace varnkit::testing
