#pragma once
// A program started on an X server of the test's own, played with real X key and mouse events
// (xdotool) and heard on the JACK server through its output port.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Child.h"
#include "tests/support/JackRig.h"
#include "tests/support/VirtualX.h"

namespace varnkit::testing {

// Pad i plays 2^(i-10): whatever mix of pads sounds, a frame's value tells which.
inline float level(int pad) {
  return std::ldexp(1.0f, pad - 10);
}

class ProgramUnderX : public ::testing::Test {
 protected:
  // Starts Xvfb; env then names its display.
  void SetUp() override {
    ASSERT_TRUE(rig.ok()) << "no JACK server";
    ASSERT_FALSE(x.display().empty()) << "Xvfb did not start";
    env["DISPLAY"] = x.display();
    env["QT_QPA_PLATFORM"] = "xcb";
    env["LSAN_OPTIONS"] = "suppressions=" LSAN_SUPPRESSIONS;  // for a sanitized build
  }
  // Ended as a desktop session ends it, the program closes everything and goes with 0.
  void TearDown() override {
    if (program && program->running()) {
      EXPECT_TRUE(program->stop(std::chrono::seconds(10))) << "SIGTERM did not end it with 0";
    }
  }

  // Starts argv with env, waits for its window and its JACK output, and gives the window the
  // input focus, as a window manager would (there is none here).
  void startProgram(const std::vector<std::string>& argv) {
    using namespace std::chrono_literals;
    program = std::make_unique<Child>(argv, env);
    window = xdotool({"search", "--sync", "--onlyvisible", "--name", "^VarnKit$"});
    window = window.substr(0, window.find('\n'));
    ASSERT_FALSE(window.empty()) << "no window";
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!rig.listenTo("VarnKit:") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(50ms);
    xdotool({"windowfocus", "--sync", window});
  }

  // Runs xdotool with args on the test's display; its output.
  std::string xdotool(std::vector<std::string> args) { return x.xdotool(std::move(args)); }
  // A click at (x, y) pixels of the window's client area.
  void click(int x, int y, int button = 1) {
    xdotool({"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click",
             std::to_string(button)});
  }

  // Pad i sits 4 + 48 i pixels from the left and 19 from the top, 39 pixels square.
  void clickPad(int i, int button = 1) { click(4 + 48 * i + 19, 38, button); }
  void clickBox() { click(330, 93); }

  // The pads heard from now until a little after what act sets off has died away.
  std::set<int> padsSoundingAfter(const std::function<void()>& act) {
    const std::size_t from = rig.recorded();
    act();
    rig.recordFor(rig.rate() / 2);
    const auto sound = rig.recording();
    int heard = 0;
    for (std::size_t i = from; i < sound.size(); ++i) {
      const float bits = sound[i] * 1024.0f;  // a stopping fade is no pad's level: skipped
      if (std::fabs(bits - std::round(bits)) < 0.01f) heard |= int(std::lround(bits));
    }
    std::set<int> pads;
    for (int i = 0; i < 9; ++i)
      if (heard & (1 << i)) pads.insert(i);
    return pads;
  }

  JackRig rig{"varnkit-ears"};
  VirtualX x;
  std::unique_ptr<Child> program;
  std::string window;
  std::map<std::string, std::string> env;
};

// Waits up to 10 s for file to appear; whether it did.
inline bool appears(const std::filesystem::path& file) {
  using namespace std::chrono_literals;
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!std::filesystem::exists(file) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  return std::filesystem::exists(file);
}

}  // namespace varnkit::testing
