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

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <thread>

#include "tests/support/Pump.h"
#include "ui/main/MidiEventQueue.h"

namespace varnkit::ui {
namespace {

using Clock = std::chrono::steady_clock;

struct FixedClock : audio::FrameClock {
  uint32_t cycleStart() const noexcept override { return 4096; }
  uint32_t period() const noexcept override { return 256; }
};

struct OpeningInput : MidiInput {  // device 0 opens, others do not
  int32_t InCount() override { return 1; }
  std::string InName(int32_t) override { return "keys"; }
  int32_t InOpen(int32_t id) override { return id == 0 ? 0 : 2; }
  int32_t InClose() override { return 0; }
};

class MidiEventQueueTest : public ::testing::Test {
 protected:
  void SetUp() override { queue.setClock(std::make_shared<FixedClock>()); }
  // Message i as note and velocity, so that order and loss show.
  void send(std::size_t i) { queue.Message(144, 0, int16_t(i % 128), int16_t(i / 128)); }

  std::vector<int> got;  // i of each message handled, or -1 when it lacked its cycle
  Clock::time_point handled;
  std::function<void()> onHandled;
  MidiEventQueue queue{
      [this](int32_t, int16_t, int16_t d1, int16_t d2, std::optional<uint32_t> cycle, bool) {
        got.push_back(cycle == 4096u ? d1 + 128 * d2 : -1);
        handled = Clock::now();
        if (onHandled) onHandled();
      }};
  std::unique_ptr<MidiInput> input = queue.watchedWhileOpen(std::make_unique<OpeningInput>());
};

TEST_F(MidiEventQueueTest, AFullBurstFromAnotherThreadArrivesWholeInOrderSoonAndWithFewWakes) {
  EXPECT_FALSE(queue.watched());
  ASSERT_EQ(input->InOpen(0), 0);
  EXPECT_EQ(input->InOpen(5), 2);
  EXPECT_TRUE(queue.watched()) << "a failed open leaves the open device as it was";

  // As many as the queue holds, while the window's thread is busy elsewhere.
  const uint64_t wakes = queue.wakes();
  std::thread([&] {
    for (std::size_t i = 0; i < MidiEventQueue::kCapacity; ++i) send(i);
  }).join();
  ASSERT_TRUE(testing::pumpUntil([&] { return got.size() >= MidiEventQueue::kCapacity; }));
  EXPECT_EQ(queue.dropped(), 0u);
  EXPECT_LE(queue.wakes() - wakes, 3u) << "woken once a message";
  for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], int(i));

  // One at a time, each is handled within a few milliseconds by a window waiting for events.
  std::vector<Clock::duration> delays;
  QEventLoop waiting;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &waiting, &QEventLoop::quit);
  onHandled = [&] { waiting.quit(); };
  for (int hit = 0; hit < 11; ++hit) {
    Clock::time_point sent;
    std::thread player([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      sent = Clock::now();
      send(1);
    });
    guard.start(1000);
    waiting.exec();
    player.join();
    ASSERT_TRUE(guard.isActive()) << "not handled within a second";
    delays.push_back(handled - sent);
  }
  std::sort(delays.begin(), delays.end());
  EXPECT_LT(delays[5], std::chrono::milliseconds(4)) << "the median";

  // Closed, the queue is no longer watched; what came just before the close is still handled.
  got.clear();
  send(7);
  input->InClose();
  EXPECT_FALSE(queue.watched());
  EXPECT_TRUE(
      testing::pumpUntil([&] { return got == std::vector<int>{7}; }, std::chrono::seconds(1)));
}

// From now on the process is killed by any system call but a write to fd and its exit.
bool forbidSystemCalls(int fd) {
#if defined(__x86_64__)
  sock_filter rules[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 3, 0),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, uint32_t(fd), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
  };
  const sock_fprog program{sizeof rules / sizeof rules[0], rules};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
#else
  return fd < 0;
#endif
}

// A device that places notes on their arrival (PipeWire's) gets the note ons of a port that
// tells no frame straight into its mixer; the window then only shows them.
TEST_F(MidiEventQueueTest, NoteOnsOfAPortWithoutFramesGoToTheMixerWhereTheDeviceSays) {
  struct PlacingClock : FixedClock {
    std::optional<uint32_t> frameForArrivalNow() const noexcept override { return 5000; }
  };
  engine::Engine mixer(48000);
  std::vector<bool> played;
  MidiEventQueue placed([&](int32_t, int16_t, int16_t, int16_t, std::optional<uint32_t>, bool p) {
    played.push_back(p);
  });
  placed.setHitTarget(&mixer);
  placed.setClock(std::make_shared<FixedClock>());  // JACK's: frames come with the messages
  placed.Message(144, 9, 36, 100);
  placed.setClock(std::make_shared<PlacingClock>());
  placed.Message(144, 9, 36, 100);
  placed.Message(144, 9, 38, 0);  // a note on at velocity 0 is a note off
  placed.Message(128, 9, 36, 0);
  placed.deliver();
  EXPECT_EQ(played, (std::vector<bool>{false, true, false, false}));
}

TEST_F(MidiEventQueueTest, TheMidiThreadQueuesWithoutASingleSystemCallEvenWhenFull) {
  ASSERT_EQ(input->InOpen(0), 0);
  send(0);  // a sanitizer's first check of the clock's type makes system calls of its own
  queue.deliver();
  int report[2];
  ASSERT_EQ(pipe(report), 0);
  // A child of this process stands in for the MIDI thread: a system call there kills it.
  const pid_t child = fork();
  if (child == 0) {
    if (!forbidSystemCalls(report[1])) _exit(3);
    for (std::size_t i = 0; i < MidiEventQueue::kCapacity + 100; ++i) send(i);
    const char dropped = queue.dropped() == 100 ? 'y' : 'n';
    // Straight to the kernel: a sanitizer's _exit makes system calls of its own.
    syscall(SYS_exit_group, write(report[1], &dropped, 1) == 1 ? 0 : 4);
  }
  close(report[1]);
  char dropped = 0;
  const bool reported = read(report[0], &dropped, 1) == 1;
  close(report[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) GTEST_SKIP() << "no system-call filter";
  EXPECT_TRUE(reported && WIFEXITED(status)) << "a message made a system call";
  EXPECT_EQ(dropped, 'y') << "the full queue did not drop and count";
}

}  // namespace
}  // namespace varnkit::ui
