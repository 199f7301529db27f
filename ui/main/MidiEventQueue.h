#pragma once
// Brings MIDI input events from the MIDI thread to the user-interface thread: the MIDI thread
// only queues the four numbers, with no system call (it may be JACK's real-time thread); a
// watching thread of its own looks at the queue every millisecond while a MIDI device is open
// and wakes the user-interface thread, at most once a look, when messages have come.

#include <QObject>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/Engine.h"
#include "engine/SpscQueue.h"
#include "platform/audio/FrameClock.h"
#include "ui/main/MidiInput.h"

namespace varnkit::ui {

class MidiEventQueue : public QObject, public MidiMessageSink {
  Q_OBJECT

 public:
  // Runs for one message; cycle is the first frame of the sound device's cycle the message
  // came in, when a frame clock was given; played: the engine has already decided the note.
  using Handler = std::function<void(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2,
                                     std::optional<uint32_t> cycle, bool played)>;
  static constexpr std::size_t kCapacity = 4096;
  // How often the queue is looked at while a device is open: the most the look adds to a
  // message's way to the window.
  static constexpr std::chrono::milliseconds kPollInterval{1};

  // handler runs on the user-interface thread, once per message, in arrival order.
  explicit MidiEventQueue(Handler handler, QObject* parent = nullptr);
  ~MidiEventQueue() override;

  // User-interface thread, before the input opens: messages are stamped with the cycle of
  // clock they come in. The clock is kept as long as the queue.
  void setClock(std::shared_ptr<const audio::FrameClock> clock);

  // User-interface thread: note ons that come with their frame go straight to engine, which
  // plays them at that frame on its own (null: none do). The frames must be of the clock the
  // engine renders by.
  void setHitTarget(engine::Engine* engine) { hitTarget_.store(engine, std::memory_order_release); }

  // MIDI thread: queues the message with the cycle it came in, lock-free and without a
  // system call. When the queue is full the message is dropped and counted; the MIDI thread
  // never waits.
  void Message(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept override;
  // MIDI thread: a note on goes to the hit target, if any, at its frame.
  void MessageAt(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2,
                 uint32_t Frame) noexcept override;

  // User-interface thread: runs the handler for every queued message.
  void deliver();
  // User-interface thread: input, made to have this queue watched while one of its devices is
  // open (from an InOpen that answers 0 to the next InClose); what came before a close is
  // still handled after it.
  std::unique_ptr<MidiInput> watchedWhileOpen(std::unique_ptr<MidiInput> input);
  // Whether the queue is being watched now. User-interface thread.
  bool watched() const { return watcher_.joinable(); }
  // How often the user-interface thread has been woken for messages. Any thread.
  uint64_t wakes() const { return wakes_.load(std::memory_order_relaxed); }
  // Messages dropped because the user-interface thread fell behind. Any thread.
  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  class Watched;
  // MIDI thread: a note on to the hit target at frame; whether it took it.
  bool hit(int32_t Msg, int16_t Data1, int16_t Data2, uint32_t frame) noexcept;
  void watch();
  void stopWatching();
  void watchLoop();

  struct Event {
    int32_t msg;
    int16_t channel, data1, data2;
    std::optional<uint32_t> cycle;
    bool played;
  };

  Handler handler_;
  engine::SpscQueue<Event, kCapacity> queue_;
  std::atomic<uint64_t> dropped_{0};
  std::atomic<const audio::FrameClock*> clock_{nullptr};
  std::atomic<engine::Engine*> hitTarget_{nullptr};
  bool played_ = false;  // MIDI thread: the hit target took the message that comes next
  std::vector<std::shared_ptr<const audio::FrameClock>> clocks_;  // every clock clock_ has held
  bool delivering_ = false;
  std::atomic<uint64_t> pushed_{0};  // written by the MIDI thread only
  std::atomic<bool> wakePending_{false};
  std::atomic<uint64_t> wakes_{0};
  std::thread watcher_;
  std::mutex watchLock_;
  std::condition_variable watchEnd_;
  bool endWatch_ = false;  // under watchLock_
};

}  // namespace varnkit::ui
