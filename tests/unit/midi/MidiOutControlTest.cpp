// The output control's logic over fake ports: packing, long messages, opening and closing.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midi/MidiOutCtrl.h"
#include "tests/unit/midi/FakeMidiPorts.h"

namespace varnkit::midictl {
namespace {

using midi::testing::FakeMidiPorts;
using Bytes = std::vector<uint8_t>;

class MidiOutControl : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(out.OutOpen(1), 0); }
  std::string sent(const std::string& packedHex) const {
    return "short " + std::to_string(out.HMidi()) + " " + packedHex;
  }

  FakeMidiPorts ports;
  CMidi_OUTCtrl out{ports};
};

TEST_F(MidiOutControl, SendMidiAddsTheChannelToTheKindAndPacksTheDataBytes) {
  EXPECT_EQ(out.SendMidi(144, 9, 36, 100), 0);        // 0x99 0x24 0x64
  EXPECT_EQ(out.SendMidi(192, 0, 5, 0), 0);           // program 5, channel 1
  EXPECT_EQ(out.SendMidi(176, 15, 7, 127), 0);        // control 7, channel 16: 0xBF
  EXPECT_EQ(out.SendMidi(144, 16, 60, 1), 0);         // added, not masked: 160
  EXPECT_EQ(out.SendMidi(240, 20, 0, 0), 0);          // modulo 256
  EXPECT_EQ(out.SendMidi(144, 0, 0x1FF, 0x1234), 0);  // low byte of Data1, 16 bits of Data2
  EXPECT_EQ(ports.journal,
            (std::vector<std::string>{sent("642499"), sent("0005C0"), sent("7F07BF"),
                                      sent("013CA0"), sent("000004"), sent("1234FF90")}));
  EXPECT_EQ(ports.waits.front(), midi::SendWait::Bounded);
}

TEST_F(MidiOutControl, SysExGoesOutAsGivenUpToLenOrTheEndOfTheData) {
  const std::string identity("\xF0\x7E\x7F\x06\x01\xF7", 6);
  EXPECT_EQ(out.SendSysEx(identity, 6), 0);
  EXPECT_EQ(out.SendSysEx(identity, 3), 0);
  EXPECT_EQ(out.SendSysEx(identity, 500), 0);  // the string holds 6
  EXPECT_EQ(out.SendSysEx(identity, 0), 0);    // an empty message, the port's verdict
  EXPECT_EQ(out.SendSysEx(identity, -4), 0);
  std::string dump(1000, '\x11');
  dump.front() = '\xF0';
  dump.back() = '\xF7';
  EXPECT_EQ(out.SendSysEx(dump, 1000), 0);  // longer than 255 bytes: all of it

  const Bytes whole{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
  ASSERT_EQ(ports.longMessages.size(), 6u);
  EXPECT_EQ(ports.longMessages[0], whole);
  EXPECT_EQ(ports.longMessages[1], (Bytes{0xF0, 0x7E, 0x7F}));
  EXPECT_EQ(ports.longMessages[2], whole);
  EXPECT_EQ(ports.longMessages[3], Bytes{});
  EXPECT_EQ(ports.longMessages[4], Bytes{});
  EXPECT_EQ(ports.longMessages[5], Bytes(dump.begin(), dump.end()));
}

TEST_F(MidiOutControl, SysExReturnsTheCodeOfTheFirstStepThatFails) {
  const std::string message("\xF0\x01\xF7", 3);
  ports.unprepareResult = midi::MIDIERR_STILLPLAYING;
  EXPECT_EQ(out.SendSysEx(message, 3), int32_t(midi::MIDIERR_STILLPLAYING));
  ports.longResult = midi::MIDIERR_NOTREADY;
  EXPECT_EQ(out.SendSysEx(message, 3), int32_t(midi::MIDIERR_NOTREADY));
  ports.prepareResult = midi::MMSYSERR_INVALPARAM;
  EXPECT_EQ(out.SendSysEx(message, 3), int32_t(midi::MMSYSERR_INVALPARAM));
  EXPECT_EQ(ports.longMessages.size(), 1u);
}

TEST_F(MidiOutControl, CloseTwiceReturnsZeroBothTimesAndClosesTheDeviceOnce) {
  EXPECT_EQ(out.OutClose(), 0);
  EXPECT_EQ(out.OutClose(), 0);
  EXPECT_EQ(ports.outputCloses, 1);
  EXPECT_EQ(out.Status(), 0);
  EXPECT_EQ(out.HMidi(), 0);
  EXPECT_EQ(out.SendMidi(144, 0, 36, 100), int32_t(midi::MMSYSERR_INVALHANDLE));
  EXPECT_EQ(out.SendSysEx("\xF0\xF7", 2), int32_t(midi::MMSYSERR_INVALHANDLE));
}

TEST_F(MidiOutControl, AFailingOpenLeavesStateAndHandleAsTheyWere) {
  const int32_t handle = out.HMidi();
  EXPECT_EQ(out.OutOpen(out.OutCount()), int32_t(midi::MMSYSERR_BADDEVICEID));
  EXPECT_EQ(out.OutOpen(1), int32_t(midi::MMSYSERR_ALLOCATED));  // this control holds it
  EXPECT_EQ(out.Status(), 1);
  EXPECT_EQ(out.HMidi(), handle);

  CMidi_OUTCtrl fresh(ports);
  EXPECT_EQ(fresh.OutOpen(fresh.OutCount()), int32_t(midi::MMSYSERR_BADDEVICEID));
  EXPECT_EQ(fresh.Status(), 0);
  EXPECT_EQ(fresh.HMidi(), 0);
}

TEST_F(MidiOutControl, OpeningAnotherDeviceClosesTheOldOneOnlyOnceTheNewOneIsOpen) {
  const int32_t first = out.HMidi();
  ASSERT_EQ(out.OutOpen(0), 0);
  EXPECT_NE(out.HMidi(), first);
  EXPECT_EQ(ports.openOutputCount(), 1);
  EXPECT_EQ(out.SendMidi(144, 0, 36, 1), 0);
}

TEST_F(MidiOutControl, StatusWritesChangeOnlyTheNumberAndNoDeviceIsLeftOpen) {
  out.HMidi(12345);  // ignored
  EXPECT_NE(out.HMidi(), 12345);
  out.Status(0);
  EXPECT_TRUE(out.IsModified());
  EXPECT_EQ(out.SendMidi(144, 0, 36, 1), 0);  // still open
  {
    CMidi_OUTCtrl other(ports);
    ASSERT_EQ(other.OutOpen(0), 0);
    other.Status(0);
  }
  EXPECT_EQ(ports.openOutputCount(), 1);
  EXPECT_EQ(out.OutClose(), 0);
  EXPECT_EQ(ports.openOutputCount(), 0);
}

}  // namespace
}  // namespace varnkit::midictl
