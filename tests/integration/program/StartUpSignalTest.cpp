// The built program asked to end by a signal while a start-up message box waits for the user:
// it must end as it would from its window, its JACK clients closed and its status 0.

#include <jack/jack.h>

#include <fstream>

#include "tests/integration/program/UnderX.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

class SignalDuringAStartUpBox : public ProgramUnderX {
 protected:
  void SetUp() override {
    ProgramUnderX::SetUp();
    if (HasFatalFailure()) return;
    watch_ = jack_client_open("varnkit-watch", JackNoStartServer, nullptr);
    ASSERT_NE(watch_, nullptr);
    fs::copy_file(VARNKIT_PROGRAM, app.path() / "VarnKit");
    // A default kit that cannot be read: the start says so in a box before the window opens.
    std::ofstream(app.path() / "default.txt", std::ios::binary)
        << "vst samples,default,.,VarnKit,\r\n\r\n12,0,0,\t60,P,\tpad.wav,0,127,0,0,0,0,0,0,\r\n"
           "-1 by Ned's VarnKit\r\n";
    env["XDG_DATA_HOME"] = data.path().string();
    env["XDG_CONFIG_HOME"] = data.path().string();
    ASSERT_EQ(Child({VARNKIT_REGSVR, "-s", MIDI_MODULE_PATH}, env).wait(), 0);
  }
  void TearDown() override {
    ProgramUnderX::TearDown();
    if (watch_ != nullptr) jack_client_close(watch_);
  }

  // Starts VarnKit with args and waits until its start-up box is on the screen.
  void startToABox(const std::vector<std::string>& args) {
    std::vector<std::string> argv{(app.path() / "VarnKit").string()};
    argv.insert(argv.end(), args.begin(), args.end());
    program = std::make_unique<Child>(argv, env);
    const std::string box = xdotool({"search", "--sync", "--onlyvisible", "--name", "^VarnKit$"});
    ASSERT_FALSE(box.empty()) << "no start-up box";
  }

  bool onServer(const char* client) {
    char* uuid = jack_get_uuid_for_client_name(watch_, client);
    jack_free(uuid);
    return uuid != nullptr;
  }

  TempDir app, data;
  jack_client_t* watch_ = nullptr;
};

TEST_F(SignalDuringAStartUpBox, EndsVarnKitWithZeroAndItsJackClientsClosed) {
  // The kit that cannot be read, with the MIDI input open on the test's keyboard.
  startToABox({"--midi", "varnkit-ears"});
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(onServer("VarnKit"));
  EXPECT_FALSE(onServer("VarnKit MIDI")) << "the MIDI input is on the one client";
  EXPECT_TRUE(program->stop(10s)) << "SIGTERM while the box was up";
  EXPECT_FALSE(onServer("VarnKit"));

  // Ctrl+C, and a SIGTERM right behind it, before VarnKit has dealt with the first.
  startToABox({"--midi", "varnkit-ears"});
  ASSERT_FALSE(HasFatalFailure());
  program->signal(SIGINT);
  EXPECT_TRUE(program->stop(10s)) << "a second signal";
  EXPECT_FALSE(onServer("VarnKit"));

  // No sound device: the box that ends the start, ended by a signal instead of by the user.
  env["PULSE_SERVER"] = "unix:" + (data.path() / "no-pulse").string();
  startToABox({"--audio", "pulse"});
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_TRUE(program->stop(10s)) << "SIGTERM while the no-sound box was up";
}

}  // namespace
}  // namespace varnkit::testing
