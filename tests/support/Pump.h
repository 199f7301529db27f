#pragma once
// Keeps the window's event loop turning while a test waits for the program.

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>

namespace varnkit::testing {

// Turns the event loop until done() holds, at most limit; whether it came to hold.
inline bool pumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace varnkit::testing
