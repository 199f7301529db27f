// VarnKit asked to end by signals while it shows message boxes of its own.

#include <gtest/gtest.h>
#include <signal.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

#include "app/EndOnSignal.h"
#include "ui/toolkit/MessageBoxService.h"

namespace varnkit::app {
namespace {

// Shows a real box; how long it stayed up. One that waits for the user is turned down after 3 s.
qint64 msShowing(int buttons, int& answer) {
  QObject watchdog;
  QTimer::singleShot(3000, &watchdog, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QDialog*>(w); box != nullptr && box->isVisible()) box->reject();
  });
  QElapsedTimer clock;
  clock.start();
  answer = ui::MessageBoxService().MsgBox("box", buttons, "");
  return clock.elapsed();
}

TEST(EndOnSignal, EveryLoopAndEveryLaterBoxEndsAndMoreSignalsDoNotKill) {
  const EndOnSignal ending;
  int answer = 0;
  QTimer::singleShot(100, [] { raise(SIGTERM); });
  EXPECT_LT(msShowing(vbOKOnly, answer), 2000) << "the box up when the signal came";

  // Once the main loop has ended, a box on the way out waits for no one. More signals, as an
  // impatient user sends them, leave VarnKit to end its own way.
  QTimer::singleShot(0, [] { raise(SIGINT); });
  EXPECT_EQ(QApplication::exec(), 0);
  raise(SIGTERM);
  raise(SIGHUP);
  EXPECT_LT(msShowing(vbYesNo, answer), 2000);
  EXPECT_EQ(answer, vbNo);

  // The next test's boxes wait again: a main loop that starts and ends forgets the end.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QApplication::exec();
}

}  // namespace
}  // namespace varnkit::app
