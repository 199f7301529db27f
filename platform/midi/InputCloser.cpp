#include "platform/midi/InputCloser.h"

#include <atomic>
#include <semaphore>
#include <thread>

namespace varnkit::midi {
namespace {

// A thread that closes the ports handed to it from their own threads. Ports arrive on a
// lock-free list, so that handing one over never blocks the MIDI thread.
class Closer {
 public:
  Closer() : thread_([this] { run(); }) { thread_.detach(); }

  void adopt(InputPort* port) noexcept {
    InputPort* head = pending_.load(std::memory_order_relaxed);
    do {
      port->nextToClose = head;
    } while (!pending_.compare_exchange_weak(head, port, std::memory_order_release,
                                             std::memory_order_relaxed));
    wake_.release();
  }

 private:
  [[noreturn]] void run() {
    for (;;) {
      wake_.acquire();
      InputPort* port = pending_.exchange(nullptr, std::memory_order_acquire);
      while (port != nullptr) {
        InputPort* next = port->nextToClose;
        port->waitIdle();
        delete port;
        port = next;
      }
    }
  }

  std::atomic<InputPort*> pending_{nullptr};
  std::counting_semaphore<> wake_{0};
  std::thread thread_;
};

// Never destroyed: its thread may outlive every static object.
Closer& closer() {
  static Closer* instance = new Closer;
  return *instance;
}

}  // namespace

void prepareInputCloser() {
  closer();
}

void closeInput(std::unique_ptr<InputPort> port) noexcept {
  if (!port) return;
  port->detach();
  if (port->onOwnThread()) {
    closer().adopt(port.release());
    return;
  }
  port->waitIdle();
  port.reset();
}

}  // namespace varnkit::midi
