// VarnKit as a package puts it on a system: installed into a root of the test's own, started by
// a user whose home holds nothing of VarnKit yet.

#include <fcntl.h>

#include <fstream>
#include <sstream>

#include "tests/integration/program/UnderX.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Finished {
  int status;
  std::string out, err;
};

std::string drain(int fd) {
  std::string text;
  char buffer[512];
  for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, size_t(n));
  close(fd);
  return text;
}

class InstalledVarnKit : public ProgramUnderX {
 protected:
  void SetUp() override {
    ProgramUnderX::SetUp();
    if (HasFatalFailure()) return;
    const Finished install = run({"cmake", "--install", VARNKIT_BUILD_DIR, "--prefix", "/usr"},
                                 {{"DESTDIR", root.str()}});
    ASSERT_EQ(install.status, 0) << install.err;
    ASSERT_TRUE(fs::exists(installed)) << install.out;
    env["HOME"] = home.path().string();
    env["XDG_DATA_HOME"] = "";  // empty counts as unset
    env["XDG_CONFIG_HOME"] = "";
  }

  // Runs argv to its end with env and extra; its exit status and what it printed.
  Finished run(const std::vector<std::string>& argv,
               std::map<std::string, std::string> extra = {}) {
    extra.insert(env.begin(), env.end());
    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0) return {-1, "", ""};
    Child child(argv, extra, out[1], err[1]);
    close(out[1]);
    close(err[1]);
    Finished r{0, drain(out[0]), drain(err[0])};
    r.status = child.wait();
    return r;
  }

  // A kit whose pad i plays level(i), written into the data folder as a user's kit.
  void writeLevelKit(const std::string& name) {
    fs::create_directories(data / name);
    std::ofstream kit(data / (name + ".txt"), std::ios::binary);
    kit << "vst samples," << name << "," << name << ",VarnKit,\r\n\r\n";
    for (int i = 0; i < 9; ++i) {
      kit << i + 1 << ",0,0,\t" << 60 + i << ",P" << i << ",\tpad" << i
          << ".wav,0,127,0,0,0,0,0,0,\r\n";
      writeFile(data / name / ("pad" + std::to_string(i) + ".wav"),
                makeWav(constant(level(i), 44100 / 8), {}));
    }
    kit << "-1 by Ned's VarnKit\r\n";
  }

  struct Root : TempDir {
    std::string str() const { return path().string(); }
  } root;
  TempDir home;
  const fs::path installed = root.path() / "usr/bin/varnkit";
  const fs::path data = home.path() / ".local/share/VarnKit";
};

TEST_F(InstalledVarnKit, FirstStartSetsItselfUpPlaysMidiAndSavesIntoTheUsersDataFolder) {
  startProgram({installed.string(), "--audio", "jack", "--midi", "varnkit-ears"});
  ASSERT_FALSE(HasFatalFailure());

  // The starter kit was made in the data folder, and the module registered from the install.
  EXPECT_TRUE(fs::exists(data / "default.txt"));
  EXPECT_TRUE(fs::exists(data / "default" / "Kick.wav"));
  std::stringstream registry;
  registry << std::ifstream(data / "registry").rdbuf();
  EXPECT_NE(registry.str().find("InprocServer32=" + root.str() + "/usr/lib/"), std::string::npos)
      << registry.str();

  // The test's JACK MIDI output was in the device list, and a note on it plays the kick.
  const std::size_t from = rig.recorded();
  ASSERT_TRUE(rig.send(0x99, 36, 110));
  rig.recordFor(rig.rate() / 2);
  const auto sound = rig.recording();
  float peak = 0;
  for (std::size_t i = from; i < sound.size(); ++i) peak = std::max(peak, std::fabs(sound[i]));
  EXPECT_GT(peak, 0.05f);

  clickBox();
  xdotool({"key", "ctrl+a"});
  xdotool({"type", "Live"});
  click(418, 94);
  EXPECT_TRUE(appears(data / "Live.txt"));
  EXPECT_TRUE(fs::exists(data / "Live" / "Kick.wav"));
  EXPECT_FALSE(fs::exists(root.path() / "usr/bin/Live.txt"));
  EXPECT_TRUE(program->running());
}

TEST_F(InstalledVarnKit, OptionsAreCheckedBeforeAnyWindowAndShapeTheStart) {
  // No display at all: a window would end the program before it could answer with 2.
  const std::map<std::string, std::string> noDisplay{{"DISPLAY", ""}};
  const std::vector<std::vector<std::string>> bad{
      {"--kit", "Nowhere"}, {"--kit", "../etc/x"}, {"--audio", "oss"}, {"--audio"},
      {"--buffer", "8"},    {"--buffer", "99999"}, {"--buffer", "1k"}, {"--midi="},
      {"--version=2"},      {"-platform", "xcb"},  {"kit.txt"}};
  for (const auto& args : bad) {
    std::vector<std::string> argv{installed.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    const Finished r = run(argv, noDisplay);
    EXPECT_EQ(r.status, 2) << args[0] << ": " << r.err;
    EXPECT_TRUE(r.err.starts_with("varnkit: ")) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
  }
  const Finished version = run({installed.string(), "--version"}, noDisplay);
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "VarnKit " VARNKIT_VERSION "\n");
  const Finished help = run({installed.string(), "--help"}, noDisplay);
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--kit NAME", "--audio jack|pipewire|pulse|alsa", "--buffer FRAMES", "--midi NAME", "--version"})
    EXPECT_NE(help.out.find(option), std::string::npos) << option;

  // Only the back-end asked for is tried: with JACK there but no PulseAudio, no sound device.
  env["PULSE_SERVER"] = "unix:" + (home.path() / "no-pulse").string();
  program = std::make_unique<Child>(
      std::vector<std::string>{installed.string(), "--audio", "pulse", "--buffer", "512"}, env);
  std::string box = xdotool({"search", "--sync", "--onlyvisible", "--name", "^VarnKit$"});
  box = box.substr(0, box.find('\n'));
  ASSERT_FALSE(box.empty()) << "no message box";
  EXPECT_FALSE(rig.listenTo("VarnKit:"));
  xdotool({"windowfocus", "--sync", box});
  xdotool({"key", "Return"});
  EXPECT_EQ(program->wait(), 1);
  env.erase("PULSE_SERVER");

  // A kit of the user's, chosen by name in any letter case; the buffer is JACK's to choose.
  writeLevelKit("Quiet");
  startProgram({installed.string(), "--kit", "quiet", "--buffer", "128", "--audio", "jack"});
  ASSERT_FALSE(HasFatalFailure());
  EXPECT_EQ(padsSoundingAfter([&] { xdotool({"key", "w"}); }), std::set<int>{1});
}

}  // namespace
}  // namespace varnkit::testing
