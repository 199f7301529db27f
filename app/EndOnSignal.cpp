#include "app/EndOnSignal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <array>
#include <cerrno>

namespace varnkit::app {
namespace {

constexpr std::array kSignals = {SIGTERM, SIGINT, SIGHUP};
int writeEnd = -1;  // read by the handler only

// Only async-signal-safe calls: the rest happens on the UI thread when the byte arrives.
void handle(int) {
  const int saved = errno;
  for (int s : kSignals) signal(s, SIG_DFL);
  const char byte = 1;
  [[maybe_unused]] const auto n = write(writeEnd, &byte, 1);
  errno = saved;
}

}  // namespace

EndOnSignal::EndOnSignal() {
  if (pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) return;
  writeEnd = pipe_[1];
  notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &EndOnSignal::caught);
  struct sigaction action {};
  action.sa_handler = &handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) sigaction(s, &action, nullptr);
}

EndOnSignal::~EndOnSignal() {
  if (pipe_[0] < 0) return;
  for (int s : kSignals) signal(s, SIG_DFL);
  notifier_.reset();
  writeEnd = -1;
  close(pipe_[0]);
  close(pipe_[1]);
}

void EndOnSignal::caught() {
  notifier_->setEnabled(false);
  // exit, not quit: quit asks the windows to close, and a window with unsaved changes would
  // ask the user, who is logging out or has pressed Ctrl+C. Nested loops (a box) end too.
  QCoreApplication::exit(0);
}

}  // namespace varnkit::app
