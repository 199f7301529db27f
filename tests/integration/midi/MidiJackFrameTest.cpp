// Messages from JACK ports carry the frame they were sent at, on a real JACK server; however
// many inputs are open and lists made, the process has one MIDI client there.

#include <gtest/gtest.h>
#include <jack/jack.h>

#include <array>
#include <set>
#include <string>
#include <vector>

#include "midi/MidiInCtrl.h"
#include "tests/integration/midi/MidiJackFixtures.h"
#include "tests/integration/midi/TimedJackSource.h"

namespace varnkit::midictl {
namespace {

using namespace testing;

std::string clientOf(const std::string& port) {
  return port.substr(0, port.find(':'));
}

// The clients owning a port whose name starts like the process's client's, and those the
// source's ports are connected to.
std::set<std::string> midiClients(const TimedJackSource& source) {
  std::set<std::string> clients;
  const char** ports = jack_get_ports(source.client(), "^VarnKit", nullptr, 0);
  for (const char** p = ports; p != nullptr && *p != nullptr; ++p) clients.insert(clientOf(*p));
  jack_free(ports);
  for (std::size_t k = 0; k < TimedJackSource::kPorts; ++k) {
    jack_port_t* port = jack_port_by_name(source.client(), source.port(k).c_str());
    const char** peers = jack_port_get_all_connections(source.client(), port);
    for (const char** p = peers; p != nullptr && *p != nullptr; ++p) clients.insert(clientOf(*p));
    jack_free(peers);
  }
  return clients;
}

bool clientExists(const TimedJackSource& source, const char* name) {
  char* uuid = jack_get_uuid_for_client_name(source.client(), name);
  const bool exists = uuid != nullptr;
  jack_free(uuid);
  return exists;
}

TEST(MidiJackFrames, EachMessageComesWithItsFrameJustBeforeItselfAndAllInputsShareOneClient) {
  TimedJackSource source;
  ASSERT_TRUE(source.ok()) << "no JACK server";
  std::array<EventLog, TimedJackSource::kPorts> logs;
  std::array<CMidi_INCtrl, TimedJackSource::kPorts> inputs;
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    inputs[k].SetEventSink(&logs[k]);
    const int32_t id = inputNamed(inputs[k], source.port(k));
    ASSERT_GE(id, 0) << source.port(k);
    ASSERT_EQ(inputs[k].InOpen(id), 0);
  }
  const uint32_t period = source.period();
  const std::vector<uint32_t> offsets{0, 1, period / 2 + 1, period - 1};
  for (std::size_t k = 0; k < inputs.size(); ++k) {
    const auto firstKey = uint8_t(36 + 10 * k);
    const std::optional<uint32_t> start = source.sendAt(k, offsets, firstKey);
    ASSERT_TRUE(start) << "the server runs no cycles";
    ASSERT_TRUE(waitUntil([&] { return logs[k].events.count() >= offsets.size(); }));
    std::vector<TimedEvent> expected;
    for (std::size_t i = 0; i < offsets.size(); ++i)
      expected.push_back({{144, 0, int16_t(firstKey + i), 100}, *start + offsets[i], i});
    EXPECT_EQ(logs[k].timed.items(), expected) << "input " << k;
    EXPECT_EQ(logs[k].events.count(), offsets.size()) << "input " << k;
    for (std::size_t i = 0; i < offsets.size(); ++i)
      EXPECT_EQ(logs[k].events.items()[i], expected[i].event) << "input " << k;
  }
  EXPECT_EQ(midiClients(source), std::set<std::string>{"VarnKit"});
  EXPECT_FALSE(clientExists(source, "VarnKit-01"));
}

}  // namespace
}  // namespace varnkit::midictl
