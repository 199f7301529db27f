#include "ui/main/MidiEventQueue.h"

#include <pthread.h>

#include <utility>

namespace varnkit::ui {

// The window's input control as it was, with the queue watched while a device is open.
class MidiEventQueue::Watched final : public MidiInput {
 public:
  Watched(std::unique_ptr<MidiInput> input, MidiEventQueue& queue)
      : input_(std::move(input)), queue_(queue) {}
  ~Watched() override { queue_.stopWatching(); }
  int32_t InCount() override { return input_->InCount(); }
  std::string InName(int32_t DeviceID) override { return input_->InName(DeviceID); }
  int32_t InOpen(int32_t DeviceID) override {
    const int32_t result = input_->InOpen(DeviceID);
    if (result == 0) queue_.watch();  // a failed open leaves the watching as it was
    return result;
  }
  int32_t InClose() override {
    const int32_t result = input_->InClose();
    if (queue_.watched()) {
      queue_.stopWatching();
      QMetaObject::invokeMethod(&queue_, &MidiEventQueue::deliver, Qt::QueuedConnection);
    }
    return result;
  }

 private:
  std::unique_ptr<MidiInput> input_;
  MidiEventQueue& queue_;
};

MidiEventQueue::MidiEventQueue(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {}

MidiEventQueue::~MidiEventQueue() {
  stopWatching();
}

void MidiEventQueue::setClock(std::shared_ptr<const audio::FrameClock> clock) {
  // A MIDI thread may still be reading the old clock: it stays alive with the queue.
  if (clock) clocks_.push_back(clock);
  clock_.store(clock.get(), std::memory_order_release);
}

void MidiEventQueue::Message(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept {
  const audio::FrameClock* clock = clock_.load(std::memory_order_acquire);
  Event e{Msg, Channel, Data1, Data2, std::nullopt, std::exchange(played_, false)};
  if (clock != nullptr) e.cycle = clock->cycleStart();
  // A note from a port that tells no frame (the ALSA sequencer's) is placed on its arrival,
  // where the device says, so every hit keeps the same delay; JACK's came with theirs.
  constexpr int32_t kNoteOn = 144;
  if (!e.played && clock != nullptr && Msg == kNoteOn && Data2 > 0)
    if (const auto frame = clock->frameForArrivalNow()) e.played = hit(Msg, Data1, Data2, *frame);
  if (!queue_.push(e)) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  // Waking the window from here would be a system call per message, on JACK inside the
  // real-time cycle: the watcher sees the count move instead.
  pushed_.store(pushed_.load(std::memory_order_relaxed) + 1, std::memory_order_release);
}

void MidiEventQueue::MessageAt(int32_t Msg, int16_t, int16_t Data1, int16_t Data2,
                               uint32_t Frame) noexcept {
  played_ = hit(Msg, Data1, Data2, Frame);
}

bool MidiEventQueue::hit(int32_t Msg, int16_t Data1, int16_t Data2, uint32_t frame) noexcept {
  constexpr int32_t kNoteOn = 144;
  engine::Engine* engine = hitTarget_.load(std::memory_order_acquire);
  if (engine == nullptr || Msg != kNoteOn || Data2 <= 0) return false;
  return engine->postLive(
      engine::Event::noteOn(uint8_t(Data1 & 0x7f), int16_t(Data2 & 0x7f), frame));
}

void MidiEventQueue::deliver() {
  // A handler that shows a message box runs a nested event loop, which may call here again;
  // the outer call goes on draining, so messages keep their order.
  if (delivering_) return;
  delivering_ = true;
  while (auto e = queue_.pop())
    handler_(e->msg, e->channel, e->data1, e->data2, e->cycle, e->played);
  delivering_ = false;
}

std::unique_ptr<MidiInput> MidiEventQueue::watchedWhileOpen(std::unique_ptr<MidiInput> input) {
  if (!input) return input;
  return std::make_unique<Watched>(std::move(input), *this);
}

void MidiEventQueue::watch() {
  if (watcher_.joinable()) return;
  endWatch_ = false;
  watcher_ = std::thread([this] { watchLoop(); });
}

void MidiEventQueue::stopWatching() {
  if (!watcher_.joinable()) return;
  {
    const std::lock_guard lock(watchLock_);
    endWatch_ = true;
  }
  watchEnd_.notify_one();
  watcher_.join();
}

// Watcher thread. A millisecond is well below what a player hears, and JACK's timed hits do
// not wait for the window at all; one wake stands for every message that came since the last.
void MidiEventQueue::watchLoop() {
  pthread_setname_np(pthread_self(), "MIDI watch");  // as top -H and debuggers show it
  uint64_t seen = 0;  // anything queued before the watch began is handled at the first look
  std::unique_lock lock(watchLock_);
  while (!watchEnd_.wait_for(lock, kPollInterval, [this] { return endWatch_; })) {
    const uint64_t now = pushed_.load(std::memory_order_acquire);
    if (now == seen) continue;
    seen = now;
    if (wakePending_.exchange(true)) continue;  // the window has yet to take the last wake
    wakes_.fetch_add(1, std::memory_order_relaxed);
    QMetaObject::invokeMethod(
        this,
        [this] {
          wakePending_.store(false);
          deliver();
        },
        Qt::QueuedConnection);
  }
}

}  // namespace varnkit::ui
