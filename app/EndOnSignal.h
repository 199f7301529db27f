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
  // Catches the signals until destroyed; one at a time. A second signal ends the process at
  // once, the system's way, for a VarnKit that cannot get back to its event loop. UI thread.
  EndOnSignal();
  ~EndOnSignal() override;
  EndOnSignal(const EndOnSignal&) = delete;
  EndOnSignal& operator=(const EndOnSignal&) = delete;

 private:
  void caught();

  int pipe_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace varnkit::app
