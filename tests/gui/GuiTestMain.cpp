// GUI tests run inside a QApplication on the offscreen platform, with settings kept in a
// folder of their own.

#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

#include "tests/support/WavWriter.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  varnkit::testing::TempDir config;
  setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
