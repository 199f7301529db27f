// VarnKit on a desktop that runs PipeWire and no JACK server, as a new user starts it: with no
// options it plays through a PipeWire stream of its own at the quantum it asks for, and when the
// sound server dies and comes back it says so once, waits without spinning and plays again.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/Child.h"
#include "tests/support/PipeWireSession.h"
#include "tests/support/VirtualX.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class VarnKitOnPipeWire : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(x_.display().empty()) << "Xvfb did not start";
    ASSERT_TRUE(session_.ok()) << "the private PipeWire has no sink";
    fs::copy_file(VARNKIT_PROGRAM, app_.path() / "VarnKit");
    env_ = session_.env();
    env_.insert({{"DISPLAY", x_.display()},
                 {"QT_QPA_PLATFORM", "xcb"},
                 // No JACK server answers by that name: the desktop has none.
                 {"JACK_DEFAULT_SERVER", "varnkit-none-" + std::to_string(getpid())},
                 {"JACK_NO_START_SERVER", "1"},
                 {"XDG_DATA_HOME", data_.file("data")},
                 {"XDG_CONFIG_HOME", data_.file("config")},
                 {"LSAN_OPTIONS", "suppressions=" LSAN_SUPPRESSIONS}});  // a sanitized build
    ASSERT_EQ(Child({VARNKIT_REGSVR, "-s", MIDI_MODULE_PATH}, env_).wait(), 0);
  }

  void TearDown() override {
    program_.reset();
    if (errors_ >= 0) ::close(errors_);
  }

  std::string errors() const {
    std::ifstream in(data_.file("stderr"));
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  void start(std::vector<std::string> options = {}) {
    options.insert(options.begin(), (app_.path() / "VarnKit").string());
    if (errors_ < 0) errors_ = ::open(data_.file("stderr").c_str(), O_WRONLY | O_CREAT, 0600);
    program_ = std::make_unique<Child>(options, env_, devNull(), errors_);
    window_ = x_.xdotool({"search", "--sync", "--onlyvisible", "--name", "^VarnKit$"}, 20);
    window_ = window_.substr(0, window_.find('\n'));
  }

  // A property of VarnKit's node as the server shows it; empty while there is none, "?" when
  // the node lacks it.
  std::string property(const std::string& name) const {
    const std::string dump = session_.run({"pw-dump"}, 3);
    const std::size_t at = dump.find("\"node.name\": \"VarnKit\"");
    if (at == std::string::npos) return "";
    // The object of that node: from the type before the name to the next object's.
    const std::size_t from = dump.rfind("\"type\": \"PipeWire:Interface:Node\"", at);
    const std::size_t to = dump.find("\"type\": \"PipeWire:Interface:", at);
    const std::string node = dump.substr(from, to == std::string::npos ? to : to - from);
    const std::string key = "\"" + name + "\": \"";
    const std::size_t found = node.find(key);
    if (found == std::string::npos) return "?";
    const std::size_t value = found + key.size();
    return node.substr(value, node.find('"', value) - value);
  }
  std::string streamLatency() const { return property("node.latency"); }

  // The graph's cycle in frames at 48000 Hz, the median of a second of the server's profile.
  int quantum() const {
    const fs::path log = data_.file("profile.log");
    session_.run({"pw-profiler", "-o", log.string()}, 1);
    std::ifstream in(log);
    std::vector<double> periods;
    for (std::string line; std::getline(in, line);) {
      const double usec = std::atof(line.c_str());
      if (usec > 0) periods.push_back(usec);
    }
    if (periods.empty()) return 0;
    std::nth_element(periods.begin(), periods.begin() + std::ptrdiff_t(periods.size() / 2),
                     periods.end());
    return int(std::lround(periods[periods.size() / 2] * 48000 / 1e6));
  }

  // The loudest sample the sink played while the key went to the window, of a second.
  float peakWhilePressing(const char* key) {
    const fs::path wav = data_.file("heard.wav");
    fs::remove(wav);
    Child record({"pw-record", "--target", session_.sink(), "--rate", "48000", "--channels", "2",
                  "--format", "s16", wav.string()},
                 session_.env(), devNull(), devNull());
    // The recorder hears only once the session manager has linked it to the sink.
    if (!waitFor([&] { return runs("pw-record"); }, 5s)) return -1;
    x_.xdotool({"windowfocus", "--sync", window_}, 5);
    x_.xdotool({"key", key}, 5);
    std::this_thread::sleep_for(1s);
    record.stop(2s);
    std::ifstream in(wav, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    float peak = 0;
    for (std::size_t i = 44; i + 1 < bytes.size(); i += 2) {
      const auto sample = int16_t(uint8_t(bytes[i]) | uint8_t(bytes[i + 1]) << 8);
      peak = std::max(peak, std::fabs(float(sample) / 32768.0f));
    }
    return peak;
  }

  // Whether the node of that name runs, linked to what takes its sound or gives it its own.
  bool runs(const std::string& node = "VarnKit") const {
    const std::string dump = session_.run({"pw-dump"}, 3);
    const std::size_t at = dump.find("\"node.name\": \"" + node + "\"");
    if (at == std::string::npos) return false;
    const std::size_t from = dump.rfind("\"type\": \"PipeWire:Interface:Node\"", at);
    const std::size_t state = dump.find("\"state\": \"", from);
    return state != std::string::npos && dump.compare(state + 10, 7, "running") == 0;
  }

  std::string title() const {
    const std::string name = x_.xdotool({"getwindowname", window_}, 5);
    return name.substr(0, name.find('\n'));
  }
  // VarnKit's windows on the screen: the main one and each box it shows.
  int windows() const {
    const std::string out = x_.xdotool({"search", "--onlyvisible", "--class", "^VarnKit$"}, 5);
    return int(std::count(out.begin(), out.end(), '\n'));
  }
  // CPU time the program used so far, in clock ticks.
  long cpuTicks() const {
    std::ifstream stat("/proc/" + std::to_string(program_->pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long user = 0, system = 0;
    for (int i = 3; fields >> field; ++i) {
      if (i == 14) user = std::stol(field);
      if (i == 15) system = std::stol(field);
    }
    return user + system;
  }

  void expectLossAndReturn(bool crash);
  // JACK on PipeWire joins VarnKit to physical playback ports only, and a null sink has none:
  // the test joins them as a user does in a patchbay.
  void joinByHand() {
    for (const char* channel : {"FL", "FR"})
      session_.run({"pw-link", std::string("VarnKit:outport ") + (channel[1] == 'L' ? "0" : "1"),
                    session_.sink() + ":playback_" + channel},
                   3);
  }
  bool byHand_ = false;

  template <class Done>
  static bool waitFor(Done done, std::chrono::milliseconds limit) {
    for (const auto until = std::chrono::steady_clock::now() + limit; !done();
         std::this_thread::sleep_for(100ms))
      if (std::chrono::steady_clock::now() >= until) return false;
    return true;
  }

  VirtualX x_;
  PipeWireSession session_;
  TempDir app_, data_;
  int errors_ = -1;  // where the program's stderr goes
  std::map<std::string, std::string> env_;
  std::unique_ptr<Child> program_;
  std::string window_;
};

// The server dies as in a crash, or is stopped as for an update, and comes back: told once,
// nothing spins while it is gone, the word closes by itself and the keys sound again.
void VarnKitOnPipeWire::expectLossAndReturn(bool crash) {
  if (crash) {
    session_.crash();
  } else {
    session_.stop();
  }
  ASSERT_TRUE(waitFor([&] { return title() == "VarnKit - no sound device"; }, 2s)) << title();
  const long before = cpuTicks();
  std::this_thread::sleep_for(3s);
  const long used = cpuTicks() - before;
  EXPECT_LT(used, 30) << "CPU ticks (of 300 in 3 s) while the server was gone";
  EXPECT_EQ(windows(), 2) << "the main window and one word on the loss";

  session_.start();
  ASSERT_TRUE(session_.ok());
  ASSERT_TRUE(waitFor([&] { return title() == "VarnKit"; }, 6s)) << title();
  EXPECT_TRUE(waitFor([&] { return windows() == 1; }, 2s)) << "the word closes once it is over";
  EXPECT_TRUE(waitFor([&] { return runs(); }, 2s)) << "the stream does not run";
  if (byHand_) joinByHand();
  // A fresh server's session manager may still be settling its links: sound within seconds.
  EXPECT_TRUE(waitFor([&] { return peakWhilePressing("q") > 0.3f; }, 6s))
      << "no sound after the server came back";
  EXPECT_TRUE(program_->stop(5s));
}

TEST_F(VarnKitOnPipeWire, PlaysWithNoOptionsAtItsOwnQuantumAndComesBackAfterTheServerDied) {
  start();
  ASSERT_FALSE(window_.empty()) << "no window";
  ASSERT_TRUE(waitFor([&] { return runs(); }, 5s)) << "no VarnKit stream";
  EXPECT_EQ(streamLatency(), "128/48000");
  EXPECT_EQ(quantum(), 128);
  EXPECT_GT(peakWhilePressing("q"), 0.3f) << "key Q played nothing at the sink";
  EXPECT_EQ(errors(), "") << "start-up noise on stderr";
  expectLossAndReturn(true);
}

TEST_F(VarnKitOnPipeWire, TheBufferOptionSetsTheQuantumTheGraphRunsAt) {
  start({"--audio", "pipewire", "--buffer", "256"});
  ASSERT_FALSE(window_.empty()) << "no window";
  ASSERT_TRUE(waitFor([&] { return runs(); }, 5s)) << "no VarnKit stream";
  EXPECT_EQ(streamLatency(), "256/48000");
  EXPECT_EQ(quantum(), 256);
  EXPECT_GT(peakWhilePressing("w"), 0.3f);
}

// The user switches outputs, as in the desktop's sound settings: the stream goes along.
TEST_F(VarnKitOnPipeWire, FollowsTheDefaultOutputWhenTheUserSwitchesIt) {
  start();
  ASSERT_FALSE(window_.empty()) << "no window";
  ASSERT_TRUE(waitFor([&] { return runs(); }, 5s)) << "no VarnKit stream";
  const auto playsTo = [&](const std::string& sink) {
    const std::string links = session_.run({"pw-link", "-l"}, 3);
    return links.find("VarnKit:output_FL\n  |-> " + sink + ":playback_FL") != std::string::npos;
  };
  for (const char* sink : {"varnkit-first", "varnkit-second"})
    session_.run({"pactl", "load-module", "module-null-sink", std::string("sink_name=") + sink});
  for (const char* sink : {"varnkit-first", "varnkit-second", "varnkit-first"}) {
    session_.run({"pactl", "set-default-sink", sink});
    EXPECT_TRUE(waitFor([&] { return playsTo(sink); }, 3s)) << sink;
  }
}

// Through pipewire-pulse, as on a system that runs PulseAudio: the stream asks for its latency
// with buffer attributes, where a stream that asks for none gets thousands of frames and pushes
// the whole graph to a long cycle.
TEST_F(VarnKitOnPipeWire, ThePulseAudioStreamAsksForTheBufferAndComesBackToo) {
  start({"--audio", "pulse", "--buffer", "256"});
  ASSERT_FALSE(window_.empty()) << "no window";
  ASSERT_TRUE(waitFor([&] { return runs(); }, 5s)) << "no VarnKit stream";
  EXPECT_EQ(streamLatency(), "256/44100");
  EXPECT_LE(quantum(), 256);
  EXPECT_GT(peakWhilePressing("e"), 0.3f);
  expectLossAndReturn(false);
}

// Under pw-jack, VarnKit's JACK client is a PipeWire node, and PipeWire's JACK library tells
// nothing when PipeWire dies: the client's cycles stopping is what shows the loss.
TEST_F(VarnKitOnPipeWire, UnderJackOnPipeWireALossWithoutAWordFromTheServerIsNoticedToo) {
  env_["LD_LIBRARY_PATH"] = PIPEWIRE_JACK_DIR;
  env_["JACK_DEFAULT_SERVER"] = "pipewire-0";  // PipeWire's own name for its socket
  // The client of the server that went is let go without jack_client_close, which can hang
  // once its server is gone, and PipeWire's JACK library keeps no pointer to what it made for
  // it: a sanitized build would call that a leak of ours.
  env_["ASAN_OPTIONS"] = "detect_leaks=0";
  byHand_ = true;
  start();
  ASSERT_FALSE(window_.empty()) << "no window";
  ASSERT_TRUE(waitFor([&] { return runs(); }, 5s)) << "no VarnKit node";
  ASSERT_EQ(property("client.api"), "jack") << "not through JACK";
  expectLossAndReturn(false);
}

}  // namespace
}  // namespace varnkit::testing
