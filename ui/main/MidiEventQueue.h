#pragma once
// Brings MIDI input events from the MIDI thread to the user-interface thread: the MIDI thread
// only queues the four numbers and wakes the user-interface thread, which runs the handler.

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>

#include "platform/audio/SpscQueue.h"
#include "ui/main/MidiInput.h"

class QSocketNotifier;

namespace varnkit::ui {

class MidiEventQueue : public QObject, public MidiMessageSink {
  Q_OBJECT

 public:
  using Handler = std::function<void(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2)>;
  static constexpr std::size_t kCapacity = 4096;

  // handler runs on the user-interface thread, once per message, in arrival order.
  explicit MidiEventQueue(Handler handler, QObject* parent = nullptr);
  ~MidiEventQueue() override;

  // MIDI thread: queues the message and wakes the user-interface thread. When the queue is
  // full the message is dropped and counted; the MIDI thread never waits.
  void Message(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept override;

  // User-interface thread: runs the handler for every queued message.
  void deliver();
  // Messages dropped because the user-interface thread fell behind. Any thread.
  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  struct Event {
    int32_t msg;
    int16_t channel, data1, data2;
  };

  Handler handler_;
  audio::SpscQueue<Event, kCapacity> queue_;
  std::atomic<uint64_t> dropped_{0};
  int wake_ = -1;  // eventfd
  QSocketNotifier* notifier_ = nullptr;
  bool delivering_ = false;
};

}  // namespace varnkit::ui
