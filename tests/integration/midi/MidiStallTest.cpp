// A JACK server of the test's own that stands still, goes on, stops and is killed: a send
// gives up after a bounded wait and never hangs; an input goes quiet with its server and opens
// again on the next one, and follows its client to a server killed and back at once.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "midi/MidiInCtrl.h"
#include "midi/MidiOutCtrl.h"
#include "platform/jack/ProcessClient.h"
#include "tests/integration/midi/MidiJackFixtures.h"

namespace varnkit::midictl {
namespace {

using namespace testing;
using Clock = std::chrono::steady_clock;

// A dummy-driver server under a name of its own, made the default while it lives. It dies
// with the test, stopped or not, and keeps none of the test's output pipes open. The name
// stays the same from run to run: JACK keeps a few server names only, and takes back the
// name of a server that died without going away properly when it starts again.
class PrivateServer {
 public:
  PrivateServer() : name_("varnkit-midi-stall") {
    const char* old = std::getenv("JACK_DEFAULT_SERVER");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    start();
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
  }
  ~PrivateServer() {
    stop();
    if (hadOld_) {
      setenv("JACK_DEFAULT_SERVER", old_.c_str(), 1);
    } else {
      unsetenv("JACK_DEFAULT_SERVER");
    }
  }

  // Starts the server again under its name, once it has gone.
  void start() {
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int null = open("/dev/null", O_RDWR);
      dup2(null, STDOUT_FILENO);
      dup2(null, STDERR_FILENO);
      execlp("jackd", "jackd", "-n", name_.c_str(), "--no-realtime", "-d", "dummy", "-r", "44100",
             "-p", "256", nullptr);
      _exit(127);
    }
    if (pid_ < 0) pid_ = 0;
  }

  bool up() const {
    return pid_ != 0 && waitUntil([] {
             jack_client_t* probe = jack_client_open("varnkit-probe", JackNoStartServer, nullptr);
             if (probe != nullptr) jack_client_close(probe);
             return probe != nullptr;
           });
  }
  void pause() const { ::kill(pid_, SIGSTOP); }
  void resume() const { ::kill(pid_, SIGCONT); }
  // Stops the server the way a user does; its clients are told.
  void stop() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGCONT);
    ::kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }
  // Gone at once, as a crashed or killed server is: its clients are not told.
  void crash() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = 0;
  }

 private:
  std::string name_;
  std::string old_;
  bool hadOld_ = false;
  pid_t pid_ = 0;
};

int32_t sinkOf(CMidi_OUTCtrl& out) {
  for (int32_t id = 0, n = out.OutCount(); id < n; ++id)
    if (out.OutName(id) == JackSink::kPort) return id;
  return -1;
}

TEST(MidiStall, ASendGivesUpAfterABoundedWaitWhenTheServerStandsStillOrStops) {
  PrivateServer server;
  ASSERT_TRUE(server.up()) << "the test's own JACK server did not start";
  JackSink sink;
  CMidi_OUTCtrl out;
  ASSERT_EQ(out.OutOpen(sinkOf(out)), 0);

  server.pause();
  int sent = 0, refused = 0;
  {
    // Lets the server go on after a while all the same: a send that hangs fails the test
    // instead of hanging it.
    std::jthread watchdog([&server](std::stop_token stop) {
      std::mutex mutex;
      std::condition_variable_any wake;
      std::unique_lock lock(mutex);
      wake.wait_for(lock, stop, 15s, [] { return false; });
      server.resume();
    });
    const auto start = Clock::now();
    for (int i = 0; i < 5000; ++i) {
      const int32_t result = out.SendMidi(144, 0, int16_t(i % 128), 100);
      sent += result == 0;
      refused += result == int32_t(midi::MIDIERR_NOTREADY);
    }
    // One bounded wait once the ring buffer is full; every later send gives up at once.
    EXPECT_LT(Clock::now() - start, 3s);
    EXPECT_GT(sent, 1000);
    EXPECT_EQ(sent + refused, 5000);
    EXPECT_EQ(out.SendSysEx(std::string("\xF0\x7D\xF7", 3), 3), int32_t(midi::MIDIERR_NOTREADY));
  }
  EXPECT_TRUE(waitUntil([&] { return out.SendMidi(144, 0, 37, 100) == 0; }, 5s));
  // A server woken from a stand-still may count its clients late and drop what they had
  // queued; what must hold is that sending works again and reaches the other side.
  EXPECT_TRUE(waitUntil([&] { return sink.messages.count() >= 1; }, 5s))
      << sink.messages.count() << " of " << sent + 1 << " arrived";

  server.stop();
  EXPECT_TRUE(waitUntil([&] { return out.SendMidi(144, 0, 36, 100) != 0; }, 5s));
  const auto start = Clock::now();
  for (int i = 0; i < 3000; ++i)
    ASSERT_EQ(out.SendMidi(144, 0, 36, 100), int32_t(midi::MMSYSERR_NODRIVER));
  EXPECT_LT(Clock::now() - start, 1s);
  const auto closing = Clock::now();
  EXPECT_EQ(out.OutClose(), 0);
  EXPECT_LT(Clock::now() - closing, 5s);
}

TEST(MidiStall, AnInputGoesQuietWithItsServerAndOpensAgainOnTheNextOne) {
  auto server = std::make_unique<PrivateServer>();
  ASSERT_TRUE(server->up()) << "the test's own JACK server did not start";
  auto source = std::make_unique<JackSource>();
  EventLog log;
  CMidi_INCtrl in;
  in.SetEventSink(&log);
  auto noteArrives = [&](uint8_t key) {
    const std::size_t before = log.timed.count();
    source->send({0x90, key, 100});
    return waitUntil([&] { return log.timed.count() > before; }, 2s) &&
           log.timed.items().back().event == Event{144, 0, key, 100};
  };
  ASSERT_EQ(in.InOpen(inputNamed(in, JackSource::kPort)), 0);
  ASSERT_TRUE(noteArrives(40));

  source.reset();  // RtMidi's own output cannot be closed safely once its server has gone
  server->stop();
  EXPECT_TRUE(waitUntil([&] { return inputNamed(in, JackSource::kPort) < 0; }, 5s));
  const auto closing = Clock::now();
  EXPECT_EQ(in.InClose(), 0);
  EXPECT_LT(Clock::now() - closing, 1s);

  server.reset();
  server = std::make_unique<PrivateServer>();
  ASSERT_TRUE(server->up());
  source = std::make_unique<JackSource>();
  ASSERT_EQ(in.InOpen(inputNamed(in, JackSource::kPort)), 0);
  EXPECT_TRUE(noteArrives(41));
}

TEST(MidiStall, AnOpenInputFollowsItsClientToAServerKilledAndBackAtOnceAndWhenDropped) {
  PrivateServer server;
  ASSERT_TRUE(server.up()) << "the test's own JACK server did not start";
  auto source = std::make_unique<JackSource>();
  EventLog log;
  CMidi_INCtrl in;
  in.SetEventSink(&log);
  // Sends the note again and again until it arrives, for limit at most: the input connects
  // again on its own, and notes sent before that go nowhere.
  auto noteArrives = [&](uint8_t key, std::chrono::milliseconds limit = 3s) {
    const std::size_t before = log.events.count();
    const auto deadline = Clock::now() + limit;
    while (log.events.count() == before && Clock::now() < deadline) {
      source->send({0x90, key, 100});
      waitUntil([&] { return log.events.count() > before; }, 50ms);
    }
    return log.events.count() > before && log.events.items()[before] == Event{144, 0, key, 100};
  };
  ASSERT_EQ(in.InOpen(inputNamed(in, JackSource::kPort)), 0);
  ASSERT_TRUE(noteArrives(40));

  const auto killed = Clock::now();
  server.crash();
  server.start();
  ASSERT_TRUE(server.up());
  ASSERT_LT(Clock::now() - killed, 2s) << "the server took long to come back";
  // RtMidi would close its client of the server that was killed: kept, never destroyed.
  static auto* const dead = new std::vector<std::unique_ptr<JackSource>>;
  dead->push_back(std::move(source));
  source = std::make_unique<JackSource>();
  EXPECT_EQ(in.Status(), 2);
  EXPECT_TRUE(noteArrives(41)) << "the input stayed on the client of the server that was killed";

  // The server drops the input's client and lives on.
  jack::ProcessClient::get()->dropped();
  EXPECT_TRUE(noteArrives(42)) << "the input stayed on the dropped client";
  EXPECT_TRUE(noteArrives(43));

  EXPECT_EQ(in.InClose(), 0);
  EXPECT_FALSE(noteArrives(44, 300ms)) << "a closed input came back with its client";
}

}  // namespace
}  // namespace varnkit::midictl
