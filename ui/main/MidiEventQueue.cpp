#include "ui/main/MidiEventQueue.h"

#include <utility>

#include <sys/eventfd.h>
#include <unistd.h>

#include <QSocketNotifier>

namespace varnkit::ui {

MidiEventQueue::MidiEventQueue(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_ < 0) return;  // without the wake-up, deliver() still drains when called
  notifier_ = new QSocketNotifier(wake_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    uint64_t count = 0;
    (void)::read(wake_, &count, sizeof count);
    deliver();
  });
}

MidiEventQueue::~MidiEventQueue() {
  delete notifier_;
  if (wake_ >= 0) ::close(wake_);
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
  if (!queue_.push(e)) {
    dropped_.fetch_add(1, std::memory_order_relaxed);
    return;
  }
  const uint64_t one = 1;
  if (wake_ >= 0) (void)::write(wake_, &one, sizeof one);
}

void MidiEventQueue::MessageAt(int32_t Msg, int16_t, int16_t Data1, int16_t Data2,
                               uint32_t Frame) noexcept {
  constexpr int32_t kNoteOn = 144;
  audio::Mixer* mixer = hitTarget_.load(std::memory_order_acquire);
  if (mixer == nullptr || Msg != kNoteOn || Data2 <= 0) return;
  played_ = mixer->postHit({uint8_t(Data1 & 0x7f), uint8_t(Data2 & 0x7f), Frame});
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

}  // namespace varnkit::ui
