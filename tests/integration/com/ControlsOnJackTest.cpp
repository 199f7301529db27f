// Both controls made by class id and driven by dispatch id against a real JACK server: devices
// listed and opened, MessageAt and Message events from a JACK port through the event sink,
// messages sent.

#include <gtest/gtest.h>

#include "platform/com/Connection.h"
#include "tests/integration/com/ComTestSupport.h"
#include "tests/integration/com/JackPorts.h"

namespace varnkit::com::testing {
namespace {

struct Event {
  DISPID id = 0;
  std::array<VarType, 5> types{};  // Empty past the arguments given
  int32_t msg = 0;
  int16_t channel = 0, data1 = 0, data2 = 0;
  int32_t frame = 0;
  bool sameMessage(const Event& other) const {
    return msg == other.msg && channel == other.channel && data1 == other.data1 &&
           data2 == other.data2;
  }
};

constexpr std::array kMessageTypes{VarType::I4, VarType::I2, VarType::I2, VarType::I2,
                                   VarType::Empty};
constexpr std::array kMessageAtTypes{VarType::I4, VarType::I2, VarType::I2, VarType::I2,
                                     VarType::I4};

// The host's sink: records every event as it arrives on the MIDI thread.
class EventRecorder final : public IDispatch {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) noexcept override {
    if (iid != IUnknown::iid && iid != IDispatch::iid) return E_NOINTERFACE;
    return handOut(this, object);
  }
  uint32_t AddRef() noexcept override { return ++refs; }
  uint32_t Release() noexcept override { return --refs; }
  HRESULT GetIDsOfNames(std::string_view, DISPID&) noexcept override { return DISP_E_UNKNOWNNAME; }
  HRESULT Invoke(DISPID id, uint16_t, std::span<const Variant> args, Variant*) noexcept override {
    if (args.size() < 4 || args.size() > 5) return DISP_E_BADPARAMCOUNT;
    Event event;
    event.id = id;
    for (std::size_t i = 0; i < args.size(); ++i) event.types[i] = args[i].type();
    if (event.types == kMessageTypes || event.types == kMessageAtTypes) {
      event.msg = args[0].i4();
      event.channel = args[1].i2();
      event.data1 = args[2].i2();
      event.data2 = args[3].i2();
      if (args.size() == 5) event.frame = args[4].i4();
    }
    events.add(event);
    return S_OK;
  }

  std::atomic<uint32_t> refs{1};
  Recording<Event> events;
};

class ControlsOnJack : public RegisteredModule {
 protected:
  void SetUp() override {
    if (!jackRunning()) GTEST_SKIP() << "no JACK server";
    source = std::make_unique<JackSource>();
    sink = std::make_unique<JackSink>();
    RegisteredModule::SetUp();
    in = create<IDispatch>(kMI);
    out = create<IDispatch>(kMO);
    ASSERT_TRUE(in && out);
  }

  // The number of the device whose name starts with prefix, asked by the name given.
  int32_t deviceNamed(IDispatch* control, const char* count, const char* name,
                      const std::string& prefix) {
    const int32_t devices = call(control, idOf(control, count)).i4();
    for (int32_t id = 0; id < devices; ++id)
      if (call(control, idOf(control, name), {Variant(id)}).string().starts_with(prefix)) return id;
    return -1;
  }

  // Sends through the source until the recorder has count events.
  bool arrives(std::vector<uint8_t> bytes, std::size_t count) {
    source->send(std::move(bytes));
    return waitUntil([&] { return recorder.events.count() >= count; });
  }

  std::unique_ptr<JackSource> source;
  std::unique_ptr<JackSink> sink;
  EventRecorder recorder;
  Instance<IDispatch> out, in;  // the input first goes: it may use the output as thru
};

TEST_F(ControlsOnJack, TheDeviceListsAgreeUnderBothNames) {
  const int32_t count = call(in.get(), 5).i4();
  EXPECT_GT(count, 0);
  EXPECT_EQ(call(in.get(), idOf(in.get(), "MidiInCount")).i4(), count);
  EXPECT_EQ(call(in.get(), idOf(in.get(), "InCount")).i4(), count);
  EXPECT_GE(deviceNamed(in.get(), "InCount", "InName", JackSource::kPort), 0);
  const int32_t id = deviceNamed(in.get(), "MidiInCount", "MidiInName", JackSource::kPort);
  ASSERT_GE(id, 0);
  EXPECT_EQ(call(in.get(), 6, {Variant(id)}).string(), JackSource::kPort);
  EXPECT_GE(deviceNamed(out.get(), "OutCount", "OutName", JackSink::kPort), 0);
  EXPECT_GE(deviceNamed(out.get(), "MidiOutCount", "MidiOutName", JackSink::kPort), 0);
}

TEST_F(ControlsOnJack, MessagesFromAJackPortReachTheSinkAsMessageAtThenMessage) {
  Connection connection;
  ASSERT_EQ(connection.connect(in.get(), kDMidi_INEvents, &recorder), S_OK);
  const int32_t id = deviceNamed(in.get(), "InCount", "InName", JackSource::kPort);
  ASSERT_EQ(call(in.get(), idOf(in.get(), "InOpen"), {Variant(id)}), Variant(int32_t(0)));
  EXPECT_EQ(get(in.get(), 1), Variant(int32_t(2)));
  jack_client_t* clock = jack_client_open("varnkit-com-clock", JackNoStartServer, nullptr);
  ASSERT_NE(clock, nullptr);
  const jack_nframes_t sent = jack_frame_time(clock);
  ASSERT_TRUE(arrives({0x99, 36, 100}, 2));
  const jack_nframes_t arrived = jack_frame_time(clock);
  // Read outside a cycle, the frame clock is an estimate that runs ahead of the cycles or
  // behind them on a busy server; not by a tenth of a second, though.
  const auto slack = int32_t(jack_get_sample_rate(clock) / 10);
  jack_client_close(clock);
  ASSERT_TRUE(arrives({0x90, 40, 0}, 4));
  const std::vector<Event> events = recorder.events.items();
  EXPECT_EQ(events[0].id, 2);
  EXPECT_EQ(events[0].types, kMessageAtTypes);
  EXPECT_EQ(events[1].id, 1);
  EXPECT_EQ(events[1].types, kMessageTypes);
  EXPECT_EQ(events[1].msg, 144);
  EXPECT_EQ(events[1].channel, 9);
  EXPECT_EQ(events[1].data1, 36);
  EXPECT_EQ(events[1].data2, 100);
  EXPECT_TRUE(events[0].sameMessage(events[1]));
  // The server's frame of the cycle it came in, between sending and arriving.
  const auto frame = uint32_t(events[0].frame);
  EXPECT_GE(int32_t(frame - sent), -slack);
  EXPECT_GE(int32_t(arrived - frame), -slack);
  EXPECT_EQ(events[2].id, 2);
  EXPECT_EQ(events[3].msg, 128) << "a note on with velocity 0 is a note off";
  EXPECT_TRUE(events[2].sameMessage(events[3]));

  EXPECT_EQ(call(in.get(), 4), Variant(int32_t(0)));
  EXPECT_EQ(get(in.get(), 1), Variant(int32_t(0)));
  source->send({0x90, 41, 1});
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(recorder.events.count(), 4u) << "nothing arrives once closed";
  connection.disconnect();
  EXPECT_EQ(recorder.refs, 1u);
}

TEST_F(ControlsOnJack, OpeningADeviceNumberPastTheListFails) {
  const int32_t count = call(in.get(), 5).i4();
  constexpr int32_t kBadDeviceId = 2;
  EXPECT_EQ(call(in.get(), 3, {Variant(count)}), Variant(kBadDeviceId));
  EXPECT_EQ(get(in.get(), 1), Variant(int32_t(0)));
  EXPECT_EQ(call(out.get(), 3, {Variant(call(out.get(), 4).i4())}), Variant(kBadDeviceId));
}

TEST_F(ControlsOnJack, TheOutputControlSendsShortAndSystemExclusiveMessages) {
  const int32_t id = deviceNamed(out.get(), "OutCount", "OutName", JackSink::kPort);
  ASSERT_EQ(call(out.get(), idOf(out.get(), "OutOpen"), {Variant(id)}), Variant(int32_t(0)));
  EXPECT_EQ(get(out.get(), 1), Variant(int32_t(1)));
  EXPECT_NE(get(out.get(), 2), Variant(int32_t(0))) << "HMidi";
  EXPECT_EQ(call(out.get(), idOf(out.get(), "SendMidi"),
                 {Variant(int32_t(144)), Variant(int16_t(9)), Variant(int16_t(36)),
                  Variant(int16_t(100))}),
            Variant(int32_t(0)));
  EXPECT_EQ(call(out.get(), idOf(out.get(), "SendSysEx"),
                 {Variant(std::string("\xF0\x7E\x7F\xF7")), Variant(int32_t(4))}),
            Variant(int32_t(0)));
  ASSERT_TRUE(waitUntil([&] { return sink->messages.count() >= 2; }));
  EXPECT_EQ(sink->messages.items()[0], (std::vector<uint8_t>{0x99, 36, 100}));
  EXPECT_EQ(sink->messages.items()[1], (std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0xF7}));
  EXPECT_EQ(call(out.get(), idOf(out.get(), "OutClose")), Variant(int32_t(0)));
  EXPECT_EQ(get(out.get(), 1), Variant(int32_t(0)));
}

TEST_F(ControlsOnJack, TheOutputHandleServesTheInputAsThru) {
  const int32_t sinkId = deviceNamed(out.get(), "OutCount", "OutName", JackSink::kPort);
  ASSERT_EQ(call(out.get(), 3, {Variant(sinkId)}), Variant(int32_t(0)));
  put(in.get(), idOf(in.get(), "HMIDI"), get(out.get(), idOf(out.get(), "HMidi")));
  const int32_t sourceId = deviceNamed(in.get(), "InCount", "InName", JackSource::kPort);
  ASSERT_EQ(call(in.get(), 3, {Variant(sourceId)}), Variant(int32_t(0)));
  source->send({0xC5, 10});
  ASSERT_TRUE(waitUntil([&] { return sink->messages.count() >= 1; }));
  EXPECT_EQ(sink->messages.items()[0], (std::vector<uint8_t>{0xC5, 10}));
}

}  // namespace
}  // namespace varnkit::com::testing
