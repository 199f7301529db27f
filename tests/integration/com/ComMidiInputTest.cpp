// The helper VarnKit makes its MIDI input with: the input control by class id, called by
// dispatch id, its Message events handed to the window's sink; and the reasons it gives when
// it cannot.

#include <gtest/gtest.h>

#include <fstream>

#include "app/ComMidiInput.h"
#include "platform/com/ClassRegistry.h"
#include "platform/com/Registry.h"
#include "tests/integration/com/ComTestSupport.h"
#include "tests/integration/com/JackPorts.h"

namespace varnkit::com::testing {
namespace {

struct Message {
  int32_t msg = 0;
  int16_t channel = 0, data1 = 0, data2 = 0;
  bool operator==(const Message&) const = default;
};

class MessageLog final : public ui::MidiMessageSink {
 public:
  void Message(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2) noexcept override {
    messages.add({Msg, Channel, Data1, Data2});
  }
  Recording<testing::Message> messages;
};

class ComMidiInput : public TemporaryRegistry {
 protected:
  std::unique_ptr<ui::MidiInput> make(std::string& why) {
    return app::comMidiInputFactory()(log, why);
  }
  MessageLog log;
};

TEST_F(ComMidiInput, AnUnregisteredModuleIsReportedSo) {
  std::string why;
  EXPECT_FALSE(make(why));
  EXPECT_EQ(why, "the Midi module is not registered");
}

TEST_F(ComMidiInput, AModuleThatCannotBeLoadedIsReportedWithTheLoadersWords) {
  ClassEntry entry;
  entry.clsid = kMI;
  entry.modulePath = folder + "/moved/Midi.ocx";
  std::string why;
  ASSERT_TRUE(updateRegistry([&](RegistryKeys& keys) { writeClass(keys, entry); }, why));
  EXPECT_FALSE(make(why));
  EXPECT_TRUE(why.starts_with("Midi.ocx cannot be loaded: " + folder + "/moved/Midi.ocx: ")) << why;
}

TEST_F(ComMidiInput, MessagesFromAJackPortReachTheWindowsSinkUntilTheInputGoes) {
  if (!jackRunning()) GTEST_SKIP() << "no JACK server";
  JackSource source;
  ASSERT_EQ(loadModule()->registerServer(), S_OK);
  std::string why;
  std::unique_ptr<ui::MidiInput> input = make(why);
  ASSERT_TRUE(input) << why;
  int32_t id = -1;
  for (int32_t d = 0, n = input->InCount(); d < n; ++d)
    if (input->InName(d) == JackSource::kPort) id = d;
  ASSERT_GE(id, 0);
  EXPECT_EQ(input->InOpen(input->InCount()), 2) << "a bad device number";
  ASSERT_EQ(input->InOpen(id), 0);
  source.send({0x9F, 60, 127});
  source.send({0xE0, 0x00, 0x40});
  ASSERT_TRUE(waitUntil([&] { return log.messages.count() >= 2; }));
  EXPECT_EQ(log.messages.items()[0], (Message{144, 15, 60, 127}));
  EXPECT_EQ(log.messages.items()[1], (Message{224, 0, 0, 64}));

  input.reset();
  source.send({0x90, 61, 1});
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(log.messages.count(), 2u) << "the input is closed with the control";
}

}  // namespace
}  // namespace varnkit::com::testing
