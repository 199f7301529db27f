// The MIDI controls against the real JACK server scripts/test.sh starts: ports of the
// test's own on one side, the controls on the other.

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "midi/MidiInCtrl.h"
#include "midi/MidiOutCtrl.h"
#include "tests/integration/midi/MidiJackFixtures.h"

namespace varnkit::midictl {
namespace {

using namespace testing;
using Bytes = std::vector<uint8_t>;

int32_t outputNamed(CMidi_OUTCtrl& out, const std::string& name) {
  for (int32_t id = 0, n = out.OutCount(); id < n; ++id)
    if (out.OutName(id) == name) return id;
  return -1;
}

// The full name of the first port the JACK port named port is connected to; "" for none.
std::string connectedTo(const std::string& port) {
  jack_client_t* probe = jack_client_open("varnkit-midi-probe", JackNoStartServer, nullptr);
  if (probe == nullptr) return "";
  jack_port_t* own = jack_port_by_name(probe, port.c_str());
  const char** peers = own != nullptr ? jack_port_get_all_connections(probe, own) : nullptr;
  std::string peer = peers != nullptr ? peers[0] : "";
  jack_free(peers);
  jack_client_close(probe);
  return peer;
}

class MidiJack : public ::testing::Test {
 protected:
  void SetUp() override {
    jack_client_t* probe = jack_client_open("varnkit-midi-probe", JackNoStartServer, nullptr);
    ASSERT_NE(probe, nullptr) << "no JACK server";
    jack_client_close(probe);
    source = std::make_unique<JackSource>();
    sink = std::make_unique<JackSink>();
    in.SetEventSink(&log);
  }

  // Opens the input control on the test's source port.
  void openSource(CMidi_INCtrl& control) {
    const int32_t id = inputNamed(control, JackSource::kPort);
    ASSERT_GE(id, 0);
    ASSERT_EQ(control.InOpen(id), 0);
    ASSERT_EQ(control.Status(), 2);
  }
  void openSink(CMidi_OUTCtrl& control) {
    const int32_t id = outputNamed(control, JackSink::kPort);
    ASSERT_GE(id, 0);
    ASSERT_EQ(control.OutOpen(id), 0);
  }
  // Sends a note, waits for it, and says whether it arrived once.
  bool noteArrivesOnce(uint8_t key) {
    const std::size_t before = log.events.count();
    source->send({0x90, key, 100});
    waitUntil([&] { return log.events.count() > before; }, 2s);
    std::this_thread::sleep_for(30ms);  // a second copy would be here by now
    return log.events.count() == before + 1 && log.events.items().back() == Event{144, 0, key, 100};
  }

  std::unique_ptr<JackSource> source;
  std::unique_ptr<JackSink> sink;
  EventLog log;
  CMidi_INCtrl in;
};

TEST_F(MidiJack, MessagesFromAJackPortArriveDecodedAndSystemExclusiveDoesNot) {
  openSource(in);
  source->send({0x99, 36, 100});
  source->send({0x90, 36, 0});
  source->send({0xF0, 0x7E, 0x7F, 0xF7});
  source->send({0xF8});
  source->send({0xC5, 10});
  ASSERT_TRUE(waitUntil([&] { return log.events.count() >= 4; }));
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(
      log.events.items(),
      (std::vector<Event>{{144, 9, 36, 100}, {128, 0, 36, 0}, {240, 8, 0, 0}, {192, 5, 10, 0}}));
}

TEST_F(MidiJack, TheThruOutputReceivesEachMessageRaw) {
  openSource(in);
  CMidi_OUTCtrl out;
  openSink(out);
  in.HMidiThru(out.HMidi());
  source->send({0x90, 36, 0});
  source->send({0x99, 38, 90});
  ASSERT_TRUE(waitUntil([&] { return sink->messages.count() >= 2; }));
  EXPECT_EQ(sink->messages.items(), (std::vector<Bytes>{{0x90, 36, 0}, {0x99, 38, 90}}));
  EXPECT_EQ(log.events.items().front(), (Event{128, 0, 36, 0}));
}

TEST_F(MidiJack, InputsReopenCloseAndRefuseWhatIsHeldOrMissing) {
  EXPECT_EQ(in.InOpen(in.InCount()), int32_t(midi::MMSYSERR_BADDEVICEID));
  EXPECT_EQ(in.Status(), 0);
  openSource(in);
  CMidi_INCtrl other;
  EXPECT_EQ(other.InOpen(inputNamed(other, JackSource::kPort)), int32_t(midi::MMSYSERR_ALLOCATED));
  EXPECT_EQ(other.Status(), 0);
  EXPECT_TRUE(noteArrivesOnce(40));
  openSource(in);  // closes and opens again
  EXPECT_TRUE(noteArrivesOnce(41));
  EXPECT_EQ(in.InClose(), 0);
  EXPECT_FALSE(noteArrivesOnce(42));
  openSource(in);
  EXPECT_TRUE(noteArrivesOnce(43));
}

TEST_F(MidiJack, OutputsReopenCloseAndRefuseWhatIsHeldOrMissing) {
  CMidi_OUTCtrl out;
  EXPECT_EQ(out.OutOpen(out.OutCount()), int32_t(midi::MMSYSERR_BADDEVICEID));
  EXPECT_EQ(out.Status(), 0);
  openSink(out);
  CMidi_OUTCtrl other;
  EXPECT_EQ(other.OutOpen(outputNamed(other, JackSink::kPort)), int32_t(midi::MMSYSERR_ALLOCATED));
  EXPECT_EQ(out.SendSysEx(std::string("\xF0\x7D\x01\xF7", 4), 4), 0);
  EXPECT_EQ(out.OutClose(), 0);
  EXPECT_EQ(out.OutClose(), 0);
  EXPECT_EQ(out.SendMidi(144, 0, 36, 1), int32_t(midi::MMSYSERR_INVALHANDLE));
  openSink(out);
  EXPECT_EQ(out.SendMidi(144, 9, 36, 100), 0);
  waitUntil([&] { return sink->messages.count() >= 2; });
  EXPECT_EQ(sink->messages.items(),
            (std::vector<Bytes>{{0xF0, 0x7D, 0x01, 0xF7}, {0x99, 36, 100}}));
}

TEST_F(MidiJack, TenThousandMessagesInABurstAllArriveInOrderAndNoSendBlocks) {
  openSource(in);
  CMidi_OUTCtrl out;  // sends straight into the input control's own port
  const int32_t id = outputNamed(out, connectedTo(JackSource::kPort));
  ASSERT_GE(id, 0);
  ASSERT_EQ(out.OutOpen(id), 0);
  constexpr int kCount = 10000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kCount; ++i)
    ASSERT_EQ(out.SendMidi(144, int16_t(i % 16), int16_t(i / 16 % 128), int16_t(i / 2048 + 1)), 0)
        << "message " << i;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  ASSERT_TRUE(waitUntil([&] { return log.events.count() >= kCount; }, 20s))
      << log.events.count() << " arrived";
  const std::vector<Event> events = log.events.items();
  for (int i = 0; i < kCount; ++i) {
    ASSERT_EQ(events[i],
              (Event{144, int16_t(i % 16), int16_t(i / 16 % 128), int16_t(i / 2048 + 1)}))
        << "message " << i;
  }
}

TEST_F(MidiJack, ClosingWhileMessagesArriveNeitherCrashesNorHangsNorCallsBackLater) {
  std::jthread flood([&](std::stop_token stop) {  // 8000 messages a second
    for (uint8_t key = 0; !stop.stop_requested(); key = (key + 1) % 128) {
      source->send({0x90, key, 64});
      if (key % 8 == 0) std::this_thread::sleep_for(1ms);
    }
  });
  for (int round = 0; round < 8; ++round) {
    EventLog roundLog;
    in.SetEventSink(&roundLog);
    openSource(in);
    ASSERT_TRUE(waitUntil([&] { return roundLog.events.count() > 0; }));
    EXPECT_EQ(in.InClose(), 0);
    const std::size_t atClose = roundLog.events.count();
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(roundLog.events.count(), atClose) << "a message arrived after InClose returned";
  }
  // Closed and destroyed from inside its own handler, on the MIDI thread. Once started, the
  // control is the handler's: this thread does not touch it until the handler is done.
  for (int round = 0; round < 4; ++round) {
    EventLog own;
    auto control = std::make_unique<CMidi_INCtrl>();
    control->SetEventSink(&own);
    std::atomic<bool> begun{false}, done{false};
    std::function<void()> closeIt = [&] {
      if (begun.exchange(true)) return;
      if (round % 2 == 0) {
        control->InClose();
      } else {
        control.reset();
      }
      done = true;
    };
    own.reaction = &closeIt;
    const int32_t id = inputNamed(*control, JackSource::kPort);
    ASSERT_GE(id, 0);
    ASSERT_EQ(control->InOpen(id), 0);
    ASSERT_TRUE(waitUntil([&] { return done.load(); }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(own.events.count(), 1u);
  }
  // Destroyed from this thread while messages arrive.
  for (int round = 0; round < 4; ++round) {
    EventLog own;
    auto control = std::make_unique<CMidi_INCtrl>();
    control->SetEventSink(&own);
    openSource(*control);
    ASSERT_TRUE(waitUntil([&] { return own.events.count() > 0; }));
    control.reset();
  }
}

}  // namespace
}  // namespace varnkit::midictl
