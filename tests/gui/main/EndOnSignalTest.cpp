// VarnKit asked to end by a signal while it shows message boxes of its own.

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

// Shows a real box; how long it stayed up. Were it to wait for the user, it is turned down
// after 3 s, so that the test fails instead of hanging.
qint64 msShowing(const std::string& prompt, int buttons, int& answer) {
  QObject watchdog;
  QTimer::singleShot(3000, &watchdog, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QDialog*>(w); box != nullptr && box->isVisible()) box->reject();
  });
  QElapsedTimer clock;
  clock.start();
  answer = ui::MessageBoxService().MsgBox(prompt, buttons, "");
  return clock.elapsed();
}

TEST(EndOnSignal, EveryLoopAndEveryLaterBoxEndsAndASecondSignalIsNoHarder) {
  const EndOnSignal ending;
  int answer = 0;
  QTimer::singleShot(100, [] { raise(SIGTERM); });
  EXPECT_LT(msShowing("the box up when the signal comes", vbOKOnly, answer), 2000);
  EXPECT_EQ(answer, vbOK);

  // Once VarnKit has ended its loop, a box on the way out, as a closing kit could show, is
  // turned down: no one is there to answer it.
  QTimer::singleShot(0, [] { raise(SIGINT); });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_LT(msShowing("save changes?", vbYesNo, answer), 2000);
  EXPECT_EQ(answer, vbNo);

  // More signals, as an impatient user sends them, do not kill it on its way out.
  raise(SIGTERM);
  raise(SIGHUP);
  QApplication::processEvents();
  EXPECT_LT(msShowing("closing", vbOKOnly, answer), 2000);

  // The next test's boxes wait again: a main loop that starts and ends forgets the end.
  QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
  QApplication::exec();
}

}  // namespace
}  // namespace varnkit::app
