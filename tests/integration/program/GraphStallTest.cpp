// VarnKit started again and again beside another JACK client, on servers of the test's own in
// both of JACK's modes: however VarnKit starts, runs and ends, and whether its MIDI input opens
// at the start or is chosen in the bar's menu afterwards, the other client must keep getting its
// cycles. A graph that stops is a fault the user hears at once in every other program.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Child.h"
#include "tests/support/VirtualX.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kStarts = 20;
constexpr int kMenuStarts = 10;
constexpr double kRate = 44100;
constexpr double kPeriod = 128;
constexpr const char* kProbeName = "stall-probe";
// The share of the cycles a running graph must give the probe; lenient for a busy machine.
constexpr double kShare = 0.3;

// A child process that is asked to end and, when it does not, made to: a program stuck in a
// call to a stalled server must not keep the test waiting.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env)
      : child_(argv, env, devNull(), devNull()) {}
  ~Process() { stop(2s); }

  void stop(std::chrono::milliseconds grace) {
    if (stopped_) return;
    stopped_ = true;
    clean_ = child_.stop(grace);
  }
  // Ended on SIGTERM with exit status 0, not killed or crashed.
  bool endedCleanly() const { return clean_; }

 private:
  Child child_;
  bool stopped_ = false;
  bool clean_ = false;
};

// A private server on the dummy back-end, period 128 at 44100 Hz; synchronous with -S.
class Server {
 public:
  Server(const std::string& name, bool sync)
      : argv_{"jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r", "44100", "-p", "128"} {
    if (sync) argv_.insert(argv_.begin() + 3, "-S");
    // Other tests' servers may take every place JACK has for servers for a while.
    for (int attempt = 0; attempt < 3 && !ok_; ++attempt) {
      if (jackd_) std::this_thread::sleep_for(1s);
      jackd_ = std::make_unique<Process>(argv_, std::map<std::string, std::string>{});
      ok_ = Child({"jack_wait", "-w", "-s", name, "-t", "5"}, {}, devNull()).wait() == 0;
    }
  }
  ~Server() { stop(1s); }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  bool ok() const { return ok_; }
  // A stalled server may take its client timeout (5 s) to end on SIGTERM: it gets grace only.
  void stop(std::chrono::milliseconds grace) {
    if (jackd_) jackd_->stop(grace);
  }
  bool endedCleanly() const { return !jackd_ || jackd_->endedCleanly(); }

 private:
  std::vector<std::string> argv_;
  std::unique_ptr<Process> jackd_;
  bool ok_ = false;
};

// A client as another program on the graph has it: a MIDI keyboard that plays now and then and
// an audio input it listens to. Its process callback never blocks, so cycles it misses are
// cycles the server did not give it.
class Probe {
 public:
  explicit Probe(const std::string& server) {
    client_ = jack_client_open(kProbeName, JackOptions(JackNoStartServer | JackServerName), nullptr,
                               server.c_str());
    if (client_ == nullptr) return;
    midiOut_ = jack_port_register(client_, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    audioIn_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &Probe::process, this);
    if (midiOut_ == nullptr || audioIn_ == nullptr || jack_activate(client_) != 0) {
      jack_client_close(client_);
      client_ = nullptr;
    }
  }
  // On a stalled synchronous server closing may wait for ever: the server goes first.
  ~Probe() {
    if (client_ != nullptr) jack_client_close(client_);
  }
  Probe(const Probe&) = delete;
  Probe& operator=(const Probe&) = delete;

  bool ok() const { return client_ != nullptr; }
  uint64_t cycles() const { return cycles_.load(std::memory_order_acquire); }
  // The frame the server's current cycle began at, from its shared timer: it moves only with
  // cycles, where jack_frame_time() goes on extrapolating the wall clock through a stall.
  jack_nframes_t serverFrame() const { return jack_last_frame_time(client_); }
  // Both read the graph in shared memory and never ask the server.
  bool hasPort(const std::string& name) const {
    return jack_port_by_name(client_, name.c_str()) != nullptr;
  }
  bool midiTaken() const { return jack_port_connected(midiOut_) > 0; }
  // Asks the server, which a stalled one may never answer.
  int listenTo(const std::string& port) {
    return jack_connect(client_, port.c_str(), jack_port_name(audioIn_));
  }

 private:
  static int process(jack_nframes_t frames, void* self) {
    auto& probe = *static_cast<Probe*>(self);
    const uint64_t cycle = probe.cycles_.load(std::memory_order_relaxed);
    void* midi = jack_port_get_buffer(probe.midiOut_, frames);
    jack_midi_clear_buffer(midi);
    if (cycle % 50 == 0) {
      const jack_midi_data_t on[] = {0x99, 36, 100};
      jack_midi_event_write(midi, 0, on, 3);
    } else if (cycle % 50 == 25) {
      const jack_midi_data_t off[] = {0x89, 36, 0};
      jack_midi_event_write(midi, 0, off, 3);
    }
    const auto* in = static_cast<const float*>(jack_port_get_buffer(probe.audioIn_, frames));
    float sum = 0;
    for (jack_nframes_t i = 0; i < frames; ++i) sum += in[i];
    probe.heard_.store(sum, std::memory_order_relaxed);
    probe.cycles_.store(cycle + 1, std::memory_order_release);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* audioIn_ = nullptr;
  std::atomic<uint64_t> cycles_{0};
  std::atomic<float> heard_{0};
};

struct Sample {
  Clock::time_point at;
  uint64_t cycles;
  jack_nframes_t frame;
};

Sample sample(const Probe& probe) {
  return {Clock::now(), probe.cycles(), probe.serverFrame()};
}

// The first span of at least window in which the probe got less than share of the cycles the
// wall clock implies, or the server's clock moved less than share of the frames (share 0: none
// at all); empty when there is none.
std::string gap(const std::vector<Sample>& samples, Clock::duration window, double share) {
  for (std::size_t i = 0, j = 0; i < samples.size(); ++i) {
    while (j < samples.size() && samples[j].at - samples[i].at < window) ++j;
    if (j == samples.size()) break;
    const double seconds = std::chrono::duration<double>(samples[j].at - samples[i].at).count();
    const uint64_t cycles = samples[j].cycles - samples[i].cycles;
    const jack_nframes_t frames = samples[j].frame - samples[i].frame;
    const bool few = share == 0 ? cycles == 0 || frames == 0
                                : double(cycles) < share * seconds * kRate / kPeriod ||
                                      double(frames) < share * seconds * kRate;
    if (few)
      return std::to_string(cycles) + " cycles, " + std::to_string(frames) + " server frames in " +
             std::to_string(int(seconds * 1000)) + " ms";
  }
  return "";
}

// Samples every 50 ms for span, or until done says so.
template <class Done>
std::vector<Sample> watch(const Probe& probe, Clock::duration span, Done done) {
  std::vector<Sample> samples{sample(probe)};
  for (const auto until = samples[0].at + span; Clock::now() < until && !done(samples);) {
    std::this_thread::sleep_for(50ms);
    samples.push_back(sample(probe));
  }
  return samples;
}

class GraphStall : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    server_ = "varnkit-stall-" + std::to_string(getpid()) + (GetParam() ? "-sync" : "-async");
    fs::copy_file(VARNKIT_PROGRAM, app_.path() / "VarnKit");
    ASSERT_FALSE(x_.display().empty()) << "Xvfb did not start";
    env_ = {{"JACK_DEFAULT_SERVER", server_},
            {"JACK_NO_START_SERVER", "1"},
            {"DISPLAY", x_.display()},
            {"QT_QPA_PLATFORM", "xcb"},
            {"XDG_DATA_HOME", data_.file("data")},
            {"XDG_CONFIG_HOME", data_.file("config")}};
    ASSERT_EQ(Child({VARNKIT_REGSVR, "-s", MIDI_MODULE_PATH}, env_).wait(), 0);
    restart();
    ASSERT_TRUE(jack_ && jack_->ok()) << "jackd did not start";
    ASSERT_TRUE(probe_ && probe_->ok()) << "no probe client";
  }
  void TearDown() override {
    if (jack_) restart(false);
  }

  // A fresh server and probe, so that every start meets a running graph of its own and a
  // stall is not carried into the next start. A stuck server goes before the probe and any call
  // still waiting on it, which its end unblocks; it is not waited for, as the next server of its
  // name takes its place. A server that did not end cleanly holds one of JACK's eight server
  // places until then: at the end one of its name starts and ends cleanly, so that other tests
  // can still start theirs, and the semaphores of its killed clients go.
  void restart(bool again = true) {
    if (jack_) jack_->stop(again ? 0s : 1s);
    waiting_.clear();
    probe_.reset();
    const bool clean = !jack_ || jack_->endedCleanly();
    jack_.reset();
    if (again) {
      jack_ = std::make_unique<Server>(server_, GetParam());
      if (jack_->ok()) probe_ = std::make_unique<Probe>(server_);
      return;
    }
    if (!clean) Server(server_, GetParam());
    std::error_code ignored;
    for (const auto& file : fs::directory_iterator("/dev/shm", ignored))
      if (const std::string name = file.path().filename().string();
          name.starts_with("jack_sem.") && name.find("_" + server_ + "_") != std::string::npos)
        fs::remove(file.path(), ignored);
  }

  // Starts VarnKit once, its MIDI input opened with --midi or chosen in the menu afterwards,
  // and ends it again; where the graph stalled, or empty.
  std::string startOnce(bool inTheMenu) {
    std::error_code ignored;
    fs::remove_all(env_["XDG_CONFIG_HOME"], ignored);  // no input remembered from the last start
    std::string stall;
    bool ended = false;
    {
      std::vector<std::string> argv{(app_.path() / "VarnKit").string()};
      if (!inTheMenu) argv.insert(argv.end(), {"--midi", kProbeName});
      Process varnkit(argv, env_);
      stall = bringUp(inTheMenu);
      varnkit.stop(5s);
      ended = varnkit.endedCleanly();
    }
    const std::string after = gap(watch(*probe_, 300ms, never), 300ms, kShare);
    // Ended as a desktop session ends it, it must have closed its clients and gone with 0.
    if (stall.empty() && !ended) stall = "its end (SIGTERM did not end it with status 0)";
    if (stall.empty()) return after.empty() ? "" : "after its end (" + after + ")";
    return stall + (after.empty() ? "; runs again once VarnKit is gone"
                                  : "; still stalled once it is gone (" + after + ")");
  }

  // From VarnKit's start until it has run a while with the probe listening to it and its MIDI
  // input reading from the probe; chosen in the menu, the input is chosen once the probe
  // listens, as a user picks it in a running session.
  std::string bringUp(bool inTheMenu) {
    const auto outputs = [this] {
      return probe_->hasPort("VarnKit:outport 0") && probe_->hasPort("VarnKit:outport 1");
    };
    const auto reads = [this] { return probe_->midiTaken(); };
    if (const std::string stall =
            inTheMenu ? awaitUp(outputs, "its outputs")
                      : awaitUp([&] { return outputs() && reads(); }, "its outputs and MIDI input");
        !stall.empty())
      return "start-up (" + stall + ")";

    auto connected =
        std::async(std::launch::async, [this] { return probe_->listenTo("VarnKit:outport 0"); });
    if (connected.wait_for(3s) != std::future_status::ready) {
      waiting_.push_back(std::move(connected));
      return "connecting (jack_connect unanswered for 3 s)";
    }
    if (inTheMenu) {
      auto choosing = std::async(std::launch::async, [this] { return chooseInTheMenu(); });
      const std::string stall = awaitUp(reads, "the input chosen in the menu");
      if (const std::string failed = choosing.get(); !stall.empty())
        return "choosing the input in the menu (" + stall + (failed.empty() ? "" : "; " + failed) +
               ")";
    }
    if (const std::string stall = gap(watch(*probe_, 300ms, never), 300ms, kShare); !stall.empty())
      return "running (" + stall + ")";
    return "";
  }

  // Watches until up() holds, 10 s at most; the cycles stopping outright meanwhile (the machine
  // is busy with VarnKit, so fewer cycles do not count), or that what did not come.
  std::string awaitUp(const std::function<bool()>& up, const std::string& what) {
    const auto samples = watch(*probe_, 10s, [&](const std::vector<Sample>& s) {
      return up() || !gap(s, 500ms, 0).empty();
    });
    if (std::string stall = gap(samples, 500ms, 0); !stall.empty()) return stall;
    return up() ? "" : what + " not on the graph after 10 s";
  }

  // As the user does it once the window is up: a right click on the bar, then the first
  // input below "No Midi", which is the probe's. Empty, or what did not happen.
  std::string chooseInTheMenu() {
    std::string window =
        x_.xdotool({"search", "--sync", "--onlyvisible", "--name", "^VarnKit$"}, 10);
    window = window.substr(0, window.find('\n'));
    if (window.empty()) return "no window";
    x_.xdotool({"windowfocus", "--sync", window}, 5);
    x_.xdotool({"mousemove", "--window", window, "50", "90", "click", "3"}, 5);
    // Keys sent before the menu is up would go to the window: it is a second one of VarnKit's.
    const auto windows = [this] {
      const std::string out = x_.xdotool({"search", "--onlyvisible", "--class", "^VarnKit$"}, 5);
      return std::count(out.begin(), out.end(), '\n');
    };
    for (const auto deadline = Clock::now() + 5s; windows() < 2; std::this_thread::sleep_for(20ms))
      if (Clock::now() >= deadline) return "no menu after a right click on the bar";
    x_.xdotool({"key", "Down", "Down", "Return"}, 5);
    return "";
  }

  // Starts VarnKit count times; the starts that stalled the graph, and how.
  std::vector<std::string> starts(int count, bool inTheMenu) {
    std::vector<std::string> stalls;
    for (int i = 0; i < count && jack_->ok() && probe_->ok(); ++i) {
      const std::string stall = startOnce(inTheMenu);
      if (stall.empty()) continue;
      stalls.push_back("start " + std::to_string(i + 1) + ": " + stall);
      restart();
    }
    return stalls;
  }

  void expectNoStall(const std::vector<std::string>& stalls, int count) {
    std::string list;
    for (const auto& s : stalls) list += "\n  " + s;
    ASSERT_TRUE(jack_->ok() && probe_->ok()) << "the server did not come back after:" << list;
    std::printf("%zu of %d starts stalled the graph\n", stalls.size(), count);
    EXPECT_TRUE(stalls.empty()) << stalls.size() << " of " << count << " starts stalled:" << list;
  }

  static bool never(const std::vector<Sample>&) { return false; }

  std::string server_;
  VirtualX x_;
  TempDir app_, data_;
  std::map<std::string, std::string> env_;
  std::unique_ptr<Server> jack_;
  std::unique_ptr<Probe> probe_;
  std::vector<std::future<int>> waiting_;
};

TEST_P(GraphStall, NoStartOrEndOfVarnKitStopsTheOtherClients) {
  expectNoStall(starts(kStarts, false), kStarts);
}

TEST_P(GraphStall, NoInputChosenInTheMenuAfterTheStartStopsTheOtherClients) {
  expectNoStall(starts(kMenuStarts, true), kMenuStarts);
}

INSTANTIATE_TEST_SUITE_P(Modes, GraphStall, ::testing::Values(true, false), [](const auto& mode) {
  return mode.param ? "Synchronous" : "Asynchronous";
});

}  // namespace
}  // namespace varnkit::testing
