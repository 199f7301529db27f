// The built program as a user meets it: started on an X server of the test's own, played
// with real X key and mouse events (xdotool), heard on the JACK server through VarnKit's own
// output port.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <thread>

#include "tests/support/Child.h"
#include "tests/support/JackRig.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Pad i plays 2^(i-10): whatever mix of pads sounds, a frame's value tells which.
float level(int pad) {
  return std::ldexp(1.0f, pad - 10);
}

class VarnKitUnderX : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(rig.ok()) << "no JACK server";
    startX();
    ASSERT_FALSE(display.empty()) << "Xvfb did not start";
    fs::copy_file(VARNKIT_PROGRAM, app.path() / "VarnKit");
    std::ofstream kit(app.path() / "default.txt", std::ios::binary);
    kit << "vst samples,default,.,VarnKit,\r\n\r\n";
    for (int i = 0; i < 9; ++i) {
      kit << i + 1 << ",0,0,\t" << 60 + i << ",P" << i << ",\tpad" << i
          << ".wav,0,127,0,0,0,0,0,0,\r\n";
      writeFile(app.path() / ("pad" + std::to_string(i) + ".wav"),
                makeWav(constant(level(i), 44100 / 8), {}));
    }
    kit << "-1 by Ned's VarnKit\r\n";
    kit.close();
    env = {{"DISPLAY", display},
           {"XDG_DATA_HOME", data.path().string()},
           {"XDG_CONFIG_HOME", data.path().string()},
           {"QT_QPA_PLATFORM", "xcb"}};
    ASSERT_EQ(Child({VARNKIT_REGSVR, "-s", MIDI_MODULE_PATH}, env).wait(), 0);
    program =
        std::make_unique<Child>(std::vector<std::string>{(app.path() / "VarnKit").string()}, env);
    window = xdotool({"search", "--sync", "--onlyvisible", "--name", "^VarnKit$"});
    window = window.substr(0, window.find('\n'));
    ASSERT_FALSE(window.empty()) << "no window";
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!rig.listenTo("VarnKit:") && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(50ms);
    // No window manager here: the test gives the window the input focus, as one would.
    xdotool({"windowfocus", "--sync", window});
  }

  void startX() {
    int fds[2];
    if (pipe(fds) != 0) return;
    x = std::make_unique<Child>(
        std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                                 "640x480x24", "-nolisten", "tcp"},
        std::map<std::string, std::string>{});
    close(fds[1]);
    char number[16] = {};
    const ssize_t n = read(fds[0], number, sizeof number - 1);
    close(fds[0]);
    if (n > 0) display = ":" + std::string(number, std::strcspn(number, "\n"));
  }

  // Runs xdotool with args on the test's display; its output.
  std::string xdotool(std::vector<std::string> args) {
    args.insert(args.begin(), {"timeout", "20", "xdotool"});
    int fds[2];
    if (pipe(fds) != 0) return "";
    Child run(args, env, fds[1]);
    close(fds[1]);
    std::string out;
    char buffer[256];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) out.append(buffer, size_t(n));
    close(fds[0]);
    run.wait();
    return out;
  }
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
  TempDir app, data;
  std::unique_ptr<Child> x, program;
  std::string display, window;
  std::map<std::string, std::string> env;
};

TEST_F(VarnKitUnderX, PadKeysMouseAndTheKitNameBoxWorkAsAUserExpects) {
  using Pads = std::set<int>;
  EXPECT_EQ(padsSoundingAfter([&] { xdotool({"key", "--delay", "50", "q", "w"}); }), (Pads{0, 1}));
  EXPECT_EQ(padsSoundingAfter([&] {
              clickBox();
              xdotool({"type", "--delay", "30", "qwe"});
            }),
            Pads{});
  EXPECT_EQ(padsSoundingAfter([&] { clickPad(5); }), Pads{5});
  EXPECT_EQ(padsSoundingAfter([&] { xdotool({"key", "o"}); }), Pads{8});

  // A right click edits the pad and plays nothing; Escape in the editor closes it.
  EXPECT_EQ(padsSoundingAfter([&] { clickPad(2, 3); }), Pads{});
  std::string editor = xdotool({"search", "--sync", "--onlyvisible", "--name", "^Select Wave"});
  editor = editor.substr(0, editor.find('\n'));
  ASSERT_FALSE(editor.empty());
  xdotool({"windowfocus", "--sync", editor});
  xdotool({"key", "Escape"});
  xdotool({"windowfocus", "--sync", window});
  EXPECT_EQ(padsSoundingAfter([&] { xdotool({"key", "e"}); }), Pads{2});

  // Typed into the box and saved with the disk button, the kit is there under that name.
  clickBox();
  xdotool({"key", "ctrl+a"});
  xdotool({"type", "Live"});
  click(418, 94);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!fs::exists(app.path() / "Live.txt") && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(50ms);
  EXPECT_TRUE(fs::exists(app.path() / "Live.txt"));
  EXPECT_TRUE(fs::exists(app.path() / "Live" / "pad8.wav"));
  EXPECT_EQ(padsSoundingAfter([&] { xdotool({"key", "shift+i"}); }), Pads{7});
  EXPECT_TRUE(program->running());
}

}  // namespace
}  // namespace varnkit::testing
