#pragma once
// Ends VarnKit cleanly when the desktop session, a terminal or a service manager asks it to
// (SIGTERM, SIGINT, SIGHUP): the event loop returns, so the window, the MIDI input and the
// sound device are closed as on a normal quit. A JACK client that is not closed stays on the
// server's graph until the server notices, which can hold up every other client.

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace varnkit::app {

class EndOnSignal : public QObject {
 public:
  // Catches the signals from now until the process has ended: a signal at any moment, a
  // message box up or not, a second one too, ends VarnKit the same clean way. After this
  // object is gone, signals are only taken as an end already under way. UI thread.
  EndOnSignal();
  ~EndOnSignal() override;
  EndOnSignal(const EndOnSignal&) = delete;
  EndOnSignal& operator=(const EndOnSignal&) = delete;

  // Whether a signal has asked VarnKit to end: every event loop has been told to return, and
  // the caller must not start the main loop, which would not know. UI thread.
  bool asked() const { return asked_; }

 private:
  void caught();

  std::unique_ptr<QSocketNotifier> notifier_;
  std::unique_ptr<QObject> boxCloser_;
  bool asked_ = false;
};

}  // namespace varnkit::app
