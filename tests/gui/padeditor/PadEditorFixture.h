#pragma once
// A pad editor on a kit with an offline sound device, settings in a folder of the test's own,
// and message boxes recorded instead of shown.

#include <gtest/gtest.h>

#include <QListWidget>
#include <QTest>
#include <cstdlib>
#include <string>
#include <vector>

#include "kit/Funk.h"
#include "tests/support/KitFixture.h"
#include "ui/padeditor/Diag.h"
#include "ui/toolkit/FileList.h"
#include "ui/toolkit/MessageBoxService.h"

namespace varnkit::ui {

// Points the settings store at a fresh folder and back again.
class ScopedSettings {
 public:
  ScopedSettings() {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
    setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
  }
  ~ScopedSettings() {
    if (old_.empty())
      unsetenv("XDG_CONFIG_HOME");
    else
      setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
  }

 private:
  std::string old_;
  testing::TempDir dir_;
};

class PadEditorTest : public ::testing::Test {
 protected:
  PadEditorTest() {
    MessageBoxService::setAnswerer([this](const MessageBoxRequest& r) {
      boxes.push_back(r.prompt);
      return vbOK;
    });
  }
  ~PadEditorTest() override { MessageBoxService::setAnswerer(nullptr); }

  // Gives pad a layer for a new sample in the samples folder holding one level.
  void layer(int16_t pad, const std::string& name, float level) {
    ASSERT_NE(f.kit().Instrument(pad).add(0, 0, 0, f.sample(name, level), f.folder()), nullptr);
  }
  // Fills the editor for pad and shows it, active, as showPad would.
  void open(int16_t pad) {
    d.fill(pad);
    d.show();
    d.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&d));
  }
  void clickFile(int index) {
    QTest::mouseClick(d.File1->viewport(), Qt::LeftButton, {}, fileAt(index));
  }
  QPoint fileAt(int index) const { return d.File1->visualItemRect(d.File1->item(index)).center(); }
  // The output level once any fade of what stopped has passed.
  float heard() { return f.audio.left(1000)[500]; }
  static float full(float level) { return testing::pcm16(level); }

  ScopedSettings settings;
  testing::KitFixture f;
  bool getRoot = false;
  Diag d{f.state, getRoot};
  std::vector<std::string> boxes;
};

}  // namespace varnkit::ui
