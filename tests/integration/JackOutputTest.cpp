// The sound device on a real JACK server: what the program sends out of its output port is
// recorded by a JACK client of the test's own.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/Device.h"
#include "tests/support/WavWriter.h"

extern char** environ;

namespace varnkit::audio {
namespace {

using namespace std::chrono_literals;

// A JACK client with one input port that keeps everything it hears.
class Recorder {
 public:
  Recorder() : samples_(44100 * 10) {
    client_ = jack_client_open("varnkit-recorder", JackNoStartServer, nullptr);
    if (client_ == nullptr) return;
    port_ = jack_port_register(client_, "in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client_, &Recorder::process, this);
    jack_activate(client_);
  }
  ~Recorder() {
    if (client_ != nullptr) jack_client_close(client_);
  }

  bool ok() const { return client_ != nullptr && port_ != nullptr; }
  uint32_t rate() const { return jack_get_sample_rate(client_); }

  // Connects the first output port of the named client to the recorder.
  bool listenTo(const std::string& clientName) {
    const char** ports =
        jack_get_ports(client_, (clientName + ":").c_str(), nullptr, JackPortIsOutput);
    if (ports == nullptr) return false;
    const int r = jack_connect(client_, ports[0], jack_port_name(port_));
    jack_free(ports);
    return r == 0;
  }

  // Waits until at least n samples more than now are recorded; returns everything so far.
  std::vector<float> recordFor(std::size_t n) {
    const std::size_t until = std::min(count_.load() + n, samples_.size());
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (count_.load() < until && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(5ms);
    return {samples_.begin(), samples_.begin() + std::ptrdiff_t(count_.load())};
  }

 private:
  static int process(jack_nframes_t frames, void* self) {
    auto& r = *static_cast<Recorder*>(self);
    const auto* in = static_cast<const float*>(jack_port_get_buffer(r.port_, frames));
    std::size_t at = r.count_.load();
    for (jack_nframes_t i = 0; i < frames && at < r.samples_.size(); ++i) r.samples_[at++] = in[i];
    r.count_.store(at);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* port_ = nullptr;
  std::vector<float> samples_;
  std::atomic<std::size_t> count_{0};
};

// Plays a constant at a level and finds that constant, at that level, in the recording.
void playAndHear(Device& device, const std::string& clientName) {
  Recorder recorder;
  ASSERT_TRUE(recorder.ok()) << "no JACK server to record from";
  ASSERT_TRUE(recorder.listenTo(clientName));
  testing::TempDir dir;
  testing::writeFile(dir.file("dc.wav"), testing::makeWav(testing::constant(0.5f, 22050), {}));
  WaveFormat format;
  auto buffer =
      device.CreateSoundBufferFromFile(dir.file("dc.wav"), {DSBCAPS_CTRLVOLUME, 0}, format);
  ASSERT_TRUE(buffer.ok()) << buffer.failure().text;
  ASSERT_EQ(buffer.value()->SetVolume(-600), DsResult::Ok);
  ASSERT_EQ(buffer.value()->Play(0), DsResult::Ok);
  const auto heard = recorder.recordFor(recorder.rate());  // a second: the sound lasts half
  const float expected = 0.5f * std::pow(10.0f, -0.3f);
  std::size_t matching = 0;
  for (float s : heard) matching += std::fabs(s - expected) < 1e-4f ? 1 : 0;
  // Half a second of the level, give or take the fade-free start and the stream's latency.
  EXPECT_GE(matching, std::size_t(device.sampleRate() * 0.45)) << "of " << heard.size();
  EXPECT_FALSE(buffer.value()->playing());
}

TEST(JackOutput, OpensOnTheJackServerAndPlaysAFileAtItsLevel) {
  auto device = Device::openDefault();
  ASSERT_TRUE(device.ok()) << device.failure().text;
  EXPECT_EQ(device.value()->serviceName(), "JACK");
  EXPECT_EQ(device.value()->sampleRate(), 44100u);
  playAndHear(*device.value(), "VarnKit");
}

// A server of the test's own at 48000 Hz, stopped by its process id.
class Server48k {
 public:
  Server48k() {
    const char* argv[] = {"jackd", "-n",    kName, "--no-realtime", "-d",   "dummy",
                          "-r",    "48000", "-p",  "256",           nullptr};
    if (posix_spawnp(&pid_, "jackd", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      pid_ = 0;
  }
  ~Server48k() {
    if (pid_ == 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  static constexpr const char* kName = "varnkit-test-48k";
  pid_t pid_ = 0;
};

TEST(JackOutput, FollowsAServerRunningAt48000) {
  const char* old = std::getenv("JACK_DEFAULT_SERVER");
  const std::string previous = old != nullptr ? old : "";
  Server48k server;
  ASSERT_NE(server.pid_, 0);
  setenv("JACK_DEFAULT_SERVER", Server48k::kName, 1);
  bool up = false;
  for (int i = 0; i < 100 && !up; ++i) {  // the server needs a moment to start
    std::this_thread::sleep_for(50ms);
    jack_client_t* probe = jack_client_open("varnkit-probe", JackNoStartServer, nullptr);
    up = probe != nullptr;
    if (up) jack_client_close(probe);
  }
  ASSERT_TRUE(up) << "the 48000 Hz JACK server did not start";
  auto device = Device::openDefault();
  ASSERT_TRUE(device.ok()) << device.failure().text;
  EXPECT_EQ(device.value()->serviceName(), "JACK");
  EXPECT_EQ(device.value()->sampleRate(), 48000u);
  playAndHear(*device.value(), "VarnKit");
  device.value().reset();
  if (old != nullptr) {
    setenv("JACK_DEFAULT_SERVER", previous.c_str(), 1);
  } else {
    unsetenv("JACK_DEFAULT_SERVER");
  }
}

}  // namespace
}  // namespace varnkit::audio
