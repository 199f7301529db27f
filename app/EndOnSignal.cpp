#include "app/EndOnSignal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QSocketNotifier>
#include <array>
#include <cerrno>

namespace varnkit::app {
namespace {

constexpr std::array kSignals = {SIGTERM, SIGINT, SIGHUP};

// The pipe and the handler stay for the rest of the process: the Midi module closes its JACK
// client only when the process exits, and a signal on the way there must not kill it first.
int ends[2] = {-1, -1};

// Only async-signal-safe calls: the rest happens on the UI thread when the byte arrives. A
// full pipe already holds a byte that is yet to be read.
void handle(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const auto n = write(ends[1], &byte, 1);
  errno = saved;
}

bool catchSignals() {
  if (ends[0] >= 0) return true;
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action {};
  action.sa_handler = &handle;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int s : kSignals) sigaction(s, &action, nullptr);
  return true;
}

void drain() {
  char bytes[64];
  while (read(ends[0], bytes, sizeof bytes) > 0) {
  }
}

// Once VarnKit is ending, a modal dialog that opens (a message box a handler shows on its way
// out) is turned down in its own loop, as though the user had closed it: nobody waits for it.
class BoxCloser : public QObject {
 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      auto* dialog = qobject_cast<QDialog*>(object);
      if (dialog != nullptr && dialog->isModal())
        QMetaObject::invokeMethod(dialog, &QDialog::reject, Qt::QueuedConnection);
    }
    return false;
  }
};

}  // namespace

EndOnSignal::EndOnSignal() {
  if (!catchSignals()) return;
  drain();  // a signal from before belongs to no one now
  notifier_ = std::make_unique<QSocketNotifier>(ends[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &EndOnSignal::caught);
}

EndOnSignal::~EndOnSignal() {
  if (boxCloser_) qApp->removeEventFilter(boxCloser_.get());
}

void EndOnSignal::caught() {
  drain();
  if (!asked_) {
    asked_ = true;
    boxCloser_ = std::make_unique<BoxCloser>();
    qApp->installEventFilter(boxCloser_.get());
  }
  // exit, not quit: quit asks the windows to close, and a window with unsaved changes would
  // ask the user, who is logging out or has pressed Ctrl+C. Nested loops (a box) end too.
  QCoreApplication::exit(0);
}

}  // namespace varnkit::app
