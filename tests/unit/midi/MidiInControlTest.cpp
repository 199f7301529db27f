// The input control's logic over fake ports: decoding, thru copies, states, and closing
// from anywhere.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "midi/MidiInCtrl.h"
#include "midi/MidiOutCtrl.h"
#include "tests/unit/midi/FakeMidiPorts.h"

namespace varnkit::midictl {
namespace {

using midi::testing::FakeMidiPorts;
using Journal = std::vector<std::string>;

// Writes every event to the ports' journal, then runs the test's reaction, if any.
class JournalSink final : public MidiInEvents {
 public:
  explicit JournalSink(FakeMidiPorts& ports) : ports_(ports) {}
  std::function<void()> reaction;

  void Message(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept override {
    ports_.journal.push_back("Message " + std::to_string(Msg) + " " + std::to_string(Channel) +
                             " " + std::to_string(Data1) + " " + std::to_string(Data2));
    if (reaction) reaction();
  }
  void MessageAt(MTyp Msg, int16_t Channel, int16_t Data1, int16_t Data2,
                 int32_t Frame) noexcept override {
    ports_.journal.push_back("MessageAt " + std::to_string(Msg) + " " + std::to_string(Channel) +
                             " " + std::to_string(Data1) + " " + std::to_string(Data2) + " " +
                             std::to_string(Frame));
    if (atReaction) atReaction();
  }
  std::function<void()> atReaction;

 private:
  FakeMidiPorts& ports_;
};

class MidiInControl : public ::testing::Test {
 protected:
  void SetUp() override { in->SetEventSink(&sink); }

  // Opens an output control on the same ports and makes it the thru output.
  std::string openThru() {
    EXPECT_EQ(out.OutOpen(0), 0);
    in->HMidiThru(out.HMidi());
    return "short " + std::to_string(out.HMidi()) + " ";
  }

  FakeMidiPorts ports;
  JournalSink sink{ports};
  std::unique_ptr<CMidi_INCtrl> in = std::make_unique<CMidi_INCtrl>(ports);
  CMidi_OUTCtrl out{ports};
};

TEST_F(MidiInControl, SplitsEveryShortMessageIntoKindChannelAndDataBytes) {
  ASSERT_EQ(in->InOpen(1), 0);
  for (uint32_t packed : {0x642499u, 0x002490u, 0x402480u, 0x0000F8u, 0x000AC5u, 0x7F40A3u,
                          0x4000E1u, 0xFFC8B0u, 0x0007D2u})
    ports.deliver(packed);
  EXPECT_EQ(ports.journal, (Journal{
                               "Message 144 9 36 100",   // note on, channel 10
                               "Message 128 0 36 0",     // note on, velocity 0: a note off
                               "Message 128 0 36 64",    // note off
                               "Message 240 8 0 0",      // timing clock
                               "Message 192 5 10 0",     // program change
                               "Message 160 3 64 127",   // polyphonic key pressure
                               "Message 224 1 0 64",     // pitch wheel
                               "Message 176 0 200 255",  // data bytes as received
                               "Message 208 2 7 0",      // channel pressure
                           }));
}

TEST_F(MidiInControl, CopiesEachMessageRawToTheThruOutputAfterItsEventWithoutWaiting) {
  ASSERT_EQ(in->InOpen(0), 0);
  const std::string thru = openThru();
  ports.deliver(0x002490);  // note on with velocity 0 goes out as it came
  ports.deliver(0x642499);
  EXPECT_EQ(ports.journal, (Journal{"Message 128 0 36 0", thru + "002490", "Message 144 9 36 100",
                                    thru + "642499"}));
  EXPECT_EQ(ports.waits, (std::vector<midi::SendWait>(2, midi::SendWait::Never)));
}

TEST_F(MidiInControl, AMessageThatTellsItsFrameRaisesMessageAtJustBeforeItsMessage) {
  ASSERT_EQ(in->InOpen(0), 0);
  const std::string thru = openThru();
  ports.deliver(0x002490, 1234);
  ports.deliver(0x642499);               // from a port that tells no frame
  ports.deliver(0x0000F8, 0xFFFFFFF0u);  // the frame's 32 bits as they are
  EXPECT_EQ(ports.journal,
            (Journal{"MessageAt 128 0 36 0 1234", "Message 128 0 36 0", thru + "002490",
                     "Message 144 9 36 100", thru + "642499", "MessageAt 240 8 0 0 -16",
                     "Message 240 8 0 0", thru + "0000F8"}));
}

TEST_F(MidiInControl, DestroyedInsideMessageAtItsMessageFollowsAndNothingElse) {
  ASSERT_EQ(in->InOpen(0), 0);
  openThru();
  sink.atReaction = [&] { in.reset(); };  // the sanitizers catch any later use
  ports.deliver(0x642499, 7);
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(ports.journal, (Journal{"MessageAt 144 9 36 100 7", "Message 144 9 36 100"}));
}

TEST_F(MidiInControl, ThruSetToZeroStopsForwardingAtOnceEvenForTheMessageBeingHandled) {
  ASSERT_EQ(in->InOpen(0), 0);
  const std::string thru = openThru();
  const int32_t handle = in->HMidiThru();
  sink.reaction = [&] { in->HMidiThru(0); };
  ports.deliver(0x402490);
  ports.deliver(0x412490);
  sink.reaction = nullptr;
  in->HMidiThru(handle);
  ports.deliver(0x422490);
  EXPECT_EQ(ports.journal, (Journal{"Message 144 0 36 64", "Message 144 0 36 65",
                                    "Message 144 0 36 66", thru + "422490"}));
}

TEST_F(MidiInControl, OpenGoesFromClosedToReceivingOrStopsWhereAStepFails) {
  EXPECT_EQ(in->Status(), 0);
  EXPECT_EQ(in->InOpen(0), 0);
  EXPECT_EQ(in->Status(), 2);

  ports.startResult = midi::MMSYSERR_ERROR;
  EXPECT_EQ(in->InOpen(1), int32_t(midi::MMSYSERR_ERROR));
  EXPECT_EQ(in->Status(), 1);  // open, not started: nothing arrives
  ports.deliver(0x642499);
  EXPECT_TRUE(ports.journal.empty());

  // A number no port has: the open device is closed first, and the state stays 0.
  EXPECT_EQ(in->InOpen(in->InCount()), int32_t(midi::MMSYSERR_BADDEVICEID));
  EXPECT_EQ(in->Status(), 0);
  EXPECT_EQ(ports.openInputCount(), 0);
  EXPECT_EQ(in->InOpen(-1), int32_t(midi::MMSYSERR_BADDEVICEID));
}

TEST_F(MidiInControl, OpeningTheOpenDeviceAgainClosesAndReopensIt) {
  ASSERT_EQ(in->InOpen(0), 0);
  ASSERT_EQ(in->InOpen(0), 0);  // the port refuses a second opener: the first was closed
  EXPECT_EQ(ports.inputOpens, 2);
  EXPECT_EQ(ports.openInputCount(), 1);
  ports.deliver(0x642499);
  EXPECT_EQ(ports.journal.size(), 1u);
}

TEST_F(MidiInControl, CloseReturnsZeroFromAnyStateAndNothingArrivesAfterIt) {
  EXPECT_EQ(in->InClose(), 0);
  ASSERT_EQ(in->InOpen(0), 0);
  EXPECT_EQ(in->InClose(), 0);
  EXPECT_EQ(in->InClose(), 0);
  EXPECT_EQ(in->Status(), 0);
  EXPECT_EQ(ports.openInputCount(), 0);
  ports.deliver(0x642499);
  EXPECT_TRUE(ports.journal.empty());
}

TEST_F(MidiInControl, WritingStatusChangesOnlyTheNumberButNoDeviceIsLost) {
  ASSERT_EQ(in->InOpen(0), 0);
  EXPECT_FALSE(in->IsModified());
  in->Status(0);
  EXPECT_TRUE(in->IsModified());
  EXPECT_EQ(in->Status(), 0);
  ports.deliver(0x642499);  // still open and receiving
  EXPECT_EQ(ports.journal.size(), 1u);

  ASSERT_EQ(in->InOpen(1), 0);  // closes the device Status no longer shows
  EXPECT_EQ(ports.openInputCount(), 1);
  in->Status(0);
  in.reset();
  EXPECT_EQ(ports.openInputCount(), 0);
}

TEST_F(MidiInControl, ClosingInsideItsOwnHandlerEndsDeliveryAndTheThruCopy) {
  ASSERT_EQ(in->InOpen(0), 0);
  openThru();
  sink.reaction = [&] { in->InClose(); };
  ports.deliver(0x642499);
  ports.deliver(0x652499);
  EXPECT_EQ(ports.journal, (Journal{"Message 144 9 36 100"}));
  EXPECT_EQ(in->Status(), 0);
}

TEST_F(MidiInControl, DestroyedInsideItsOwnHandlerItIsNotTouchedAgain) {
  ASSERT_EQ(in->InOpen(0), 0);
  openThru();
  sink.reaction = [&] { in.reset(); };  // the sanitizers catch any later use
  ports.deliver(0x642499);
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(ports.journal, (Journal{"Message 144 9 36 100"}));
  EXPECT_EQ(ports.openInputCount(), 0);
}

TEST_F(MidiInControl, NamesComeFromThePortsAndARejectedNumberGivesTheLastNameFound) {
  EXPECT_EQ(in->InCount(), 2);
  EXPECT_EQ(in->InName(5), "");
  EXPECT_EQ(in->InName(1), "pads");
  EXPECT_EQ(in->InName(5), "pads");
  EXPECT_EQ(in->InName(0), "keys");
}

}  // namespace
}  // namespace varnkit::midictl
