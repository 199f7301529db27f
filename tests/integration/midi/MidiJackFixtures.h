#pragma once
// JACK ports of the test's own, and recorders that take no lock, for the MIDI controls
// on a real JACK server.

#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiInCtrl.h"
#include "midi/MidiInEvents.h"

namespace varnkit::midictl::testing {

using namespace std::chrono_literals;

// Waits until done() holds or limit passes; whether it holds.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// The number control gives the input port named name; -1 when it lists none.
inline int32_t inputNamed(CMidi_INCtrl& control, const std::string& name) {
  for (int32_t id = 0, n = control.InCount(); id < n; ++id)
    if (control.InName(id) == name) return id;
  return -1;
}

// Keeps what one thread writes, for others to read once count() says it is there.
template <class T>
class Recording {
 public:
  explicit Recording(std::size_t capacity = 1000) : items_(capacity) {}
  void add(const T& item) noexcept {
    const std::size_t at = count_.load(std::memory_order_relaxed);
    if (at == items_.size()) return;
    items_[at] = item;
    count_.store(at + 1, std::memory_order_release);
  }
  std::size_t count() const noexcept { return count_.load(std::memory_order_acquire); }
  std::vector<T> items() const {
    return {items_.begin(), items_.begin() + std::ptrdiff_t(count())};
  }

 private:
  std::vector<T> items_;
  std::atomic<std::size_t> count_{0};
};

struct Event {
  int32_t msg = 0;
  int16_t channel = 0, data1 = 0, data2 = 0;
  bool operator==(const Event&) const = default;
};

// A MessageAt, and how many Messages had been raised before it.
struct TimedEvent {
  Event event;
  uint32_t frame = 0;
  std::size_t messagesBefore = 0;
  bool operator==(const TimedEvent&) const = default;
};

// Records every Message and MessageAt; then, on Message, runs the test's reaction, if any.
class EventLog final : public MidiInEvents {
 public:
  explicit EventLog(std::size_t capacity = 20000) : events(capacity), timed(capacity) {}
  void Message(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept override {
    events.add({Msg, Channel, Data1, Data2});
    if (auto* react = reaction.load()) (*react)();
  }
  void MessageAt(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2,
                 int32_t Frame) noexcept override {
    timed.add({{Msg, Channel, Data1, Data2}, uint32_t(Frame), events.count()});
  }
  Recording<Event> events;
  Recording<TimedEvent> timed;
  std::atomic<std::function<void()>*> reaction{nullptr};
};

// A virtual JACK output port the controls can open as an input. Client names its JACK
// client: test programs that run side by side on one server need one each.
template <const char* Client>
class JackSourceOf {
 public:
  static inline const std::string kPort = std::string(Client) + ":out";
  JackSourceOf() : rt_(RtMidi::UNIX_JACK, Client) { rt_.openVirtualPort("out"); }
  // RtMidi frees its buffer before it closes the client, while a process callback may still
  // read it: closed first, the port has callbacks find nothing to read.
  ~JackSourceOf() {
    rt_.closePort();
    std::this_thread::sleep_for(20ms);
  }
  void send(std::vector<uint8_t> bytes) { rt_.sendMessage(bytes.data(), bytes.size()); }

 private:
  RtMidiOut rt_;
};

// A virtual JACK input port the controls can open as an output; keeps the first Capacity
// messages that arrive.
template <const char* Client, std::size_t Capacity>
class JackSinkOf {
 public:
  static inline const std::string kPort = std::string(Client) + ":in";
  JackSinkOf() : rt_(RtMidi::UNIX_JACK, Client) {
    rt_.ignoreTypes(false, false, false);
    rt_.setCallback(&JackSinkOf::received, this);
    rt_.openVirtualPort("in");
  }
  Recording<std::vector<uint8_t>> messages{Capacity};

 private:
  static void received(double, std::vector<unsigned char>* message, void* self) {
    static_cast<JackSinkOf*>(self)->messages.add(*message);
  }
  RtMidiIn rt_;
};

inline constexpr char kSourceClient[] = "varnkit-midi-test-src";
inline constexpr char kSinkClient[] = "varnkit-midi-test-sink";
using JackSource = JackSourceOf<kSourceClient>;
using JackSink = JackSinkOf<kSinkClient, 20000>;

}  // namespace varnkit::midictl::testing
