// The built program as a user meets it: started on an X server of the test's own, played
// with real X key and mouse events (xdotool), heard on the JACK server through VarnKit's own
// output port.

#include <fstream>

#include "tests/integration/program/UnderX.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

namespace fs = std::filesystem;

class VarnKitUnderX : public ProgramUnderX {
 protected:
  void SetUp() override {
    ProgramUnderX::SetUp();
    if (HasFatalFailure()) return;
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
    env["XDG_DATA_HOME"] = data.path().string();
    env["XDG_CONFIG_HOME"] = data.path().string();
    ASSERT_EQ(Child({VARNKIT_REGSVR, "-s", MIDI_MODULE_PATH}, env).wait(), 0);
    startProgram({(app.path() / "VarnKit").string()});
  }

  TempDir app, data;
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
  EXPECT_TRUE(appears(app.path() / "Live.txt"));
  EXPECT_TRUE(fs::exists(app.path() / "Live" / "pad8.wav"));
  EXPECT_EQ(padsSoundingAfter([&] { xdotool({"key", "shift+i"}); }), Pads{7});
  EXPECT_TRUE(program->running());
}

}  // namespace
}  // namespace varnkit::testing
