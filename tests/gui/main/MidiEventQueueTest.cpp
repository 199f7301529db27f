// MIDI messages on their way from the MIDI thread (JACK's real-time thread among them) to the
// window's thread.

#include <gtest/gtest.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <thread>
#include <vector>

#include "ui/main/MidiEventQueue.h"

namespace varnkit::ui {
namespace {

using Clock = std::chrono::steady_clock;

struct Received {
  int16_t data1, data2;
  std::optional<uint32_t> cycle;
};

struct FixedClock : audio::FrameClock {
  uint32_t cycleStart() const noexcept override { return 4096; }
  uint32_t period() const noexcept override { return 256; }
};

// An input control whose devices all open.
struct OpeningInput : MidiInput {
  int32_t InCount() override { return 1; }
  std::string InName(int32_t) override { return "keys"; }
  int32_t InOpen(int32_t id) override { return id == 0 ? 0 : 2; }
  int32_t InClose() override { return 0; }
};

class MidiEventQueueTest : public ::testing::Test {
 protected:
  MidiEventQueue queue{
      [this](int32_t, int16_t, int16_t d1, int16_t d2, std::optional<uint32_t> cycle, bool) {
        got.push_back({d1, d2, cycle});
        if (d1 == kTimed) delays.push_back(Clock::now() - sentAt.load());
      }};
  std::unique_ptr<MidiInput> input = queue.polledWhileOpen(std::make_unique<OpeningInput>());
  std::vector<Received> got;
  static constexpr int16_t kTimed = 127;
  std::atomic<Clock::time_point> sentAt;
  std::vector<Clock::duration> delays;
};

// Message number i as a note and velocity, so that order and loss show.
void send(MidiEventQueue& queue, std::size_t i) {
  queue.Message(144, 0, int16_t(i % 127), int16_t(i / 127));
}

TEST_F(MidiEventQueueTest, AFullBurstFromAnotherThreadArrivesWholeInOrderAndSoonWhileOpen) {
  queue.setClock(std::make_shared<FixedClock>());
  EXPECT_FALSE(queue.polling());
  ASSERT_EQ(input->InOpen(0), 0);
  EXPECT_TRUE(queue.polling());
  EXPECT_EQ(input->InOpen(5), 2);
  EXPECT_TRUE(queue.polling()) << "a failed open left the open device as it was";

  // As many as the queue holds, all at once while the window's thread is busy elsewhere: the
  // window is woken a few times for all of them, not once a message.
  const uint64_t wakes = queue.wakes();
  std::thread midi([&] {
    for (std::size_t i = 0; i < MidiEventQueue::kCapacity; ++i) send(queue, i);
  });
  midi.join();
  ASSERT_TRUE(QTest::qWaitFor([&] { return got.size() >= MidiEventQueue::kCapacity; }));
  EXPECT_EQ(got.size(), MidiEventQueue::kCapacity);
  EXPECT_EQ(queue.dropped(), 0u);
  EXPECT_LE(queue.wakes() - wakes, 3u);
  for (std::size_t i = 0; i < got.size(); ++i) {
    ASSERT_EQ(got[i].data1 + 127 * got[i].data2, int(i)) << "out of order";
    ASSERT_EQ(got[i].cycle, 4096u);
  }

  // One by one, each is handled within a few milliseconds of coming in.
  std::thread player([&] {
    for (int hit = 0; hit < 20; ++hit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(7));
      sentAt = Clock::now();
      queue.Message(144, 0, kTimed, 100);
    }
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return delays.size() == 20; }));
  player.join();
  ASSERT_EQ(delays.size(), 20u);
  std::sort(delays.begin(), delays.end());
  EXPECT_LT(delays[10], std::chrono::milliseconds(4)) << "median delay on the window thread";

  // Closed, the window stops looking; what came just before the close is still handled.
  got.clear();
  queue.Message(144, 0, 1, 1);
  input->InClose();
  EXPECT_FALSE(queue.polling());
  EXPECT_TRUE(QTest::qWaitFor([&] { return got.size() == 1; }));
  ASSERT_EQ(input->InOpen(0), 0);
  EXPECT_TRUE(queue.polling());
}

#if defined(__x86_64__)
constexpr uint32_t kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr uint32_t kArch = AUDIT_ARCH_AARCH64;
#else
constexpr uint32_t kArch = 0;
#endif

// From now on this process is killed by any system call but a write to fd and its exit.
bool forbidSystemCalls(int fd) {
  sock_filter rules[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(fd), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
  };
  const sock_fprog program{sizeof rules / sizeof rules[0], rules};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST_F(MidiEventQueueTest, TheMidiThreadQueuesWithoutASingleSystemCallEvenWhenFull) {
  if (kArch == 0) GTEST_SKIP() << "no system-call filter for this machine";
  queue.setClock(std::make_shared<FixedClock>());
  ASSERT_EQ(input->InOpen(0), 0);
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  // A child of this process stands in for the MIDI thread: a system call there kills it.
  const pid_t child = fork();
  if (child == 0) {
    close(report[0]);
    if (!forbidSystemCalls(report[1])) _exit(3);
    for (std::size_t i = 0; i < MidiEventQueue::kCapacity + 100; ++i) send(queue, i);
    const char done = queue.dropped() == 100 ? 'y' : 'n';
    [[maybe_unused]] const auto n = write(report[1], &done, 1);
    _exit(0);
  }
  close(report[1]);
  char done = 0;
  const bool reported = read(report[0], &done, 1) == 1;
  close(report[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_FALSE(WIFEXITED(status) && WEXITSTATUS(status) == 3) << "no system-call filter";
  EXPECT_TRUE(reported && WIFEXITED(status))
      << "a message made a system call: signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(done, 'y') << "the full queue did not drop and count";
}

}  // namespace
}  // namespace varnkit::ui
