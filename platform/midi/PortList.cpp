#include "platform/midi/PortList.h"

#include "platform/jack/ProcessClient.h"

#include <unistd.h>

#include <algorithm>
#include <exception>
#include <mutex>

namespace varnkit::midi {
namespace {

constexpr const char* kListClient = "VarnKit MIDI ports";

bool compiledIn(RtMidi::Api api) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  return std::find(apis.begin(), apis.end(), api) != apis.end();
}

// RtMidi would throw all the same, after the ALSA library has printed its complaint.
bool present(RtMidi::Api api) {
  if (!compiledIn(api)) return false;
  return api != RtMidi::LINUX_ALSA || access("/dev/snd/seq", F_OK) == 0;
}

template <class Rt>
std::unique_ptr<Rt> makeRt(RtMidi::Api api, const std::string& client, RtErrorTrap& trap) {
  if (!present(api)) return nullptr;
  try {
    auto rt = std::make_unique<Rt>(api, client);
    trap.attach(*rt);
    return rt;
  } catch (const std::exception&) {
    return nullptr;
  }
}

template <class Rt>
void appendPorts(RtMidi::Api api, std::vector<PortRef>& ports) {
  RtErrorTrap trap;
  auto rt = makeRt<Rt>(api, kListClient, trap);
  if (!rt) return;
  const unsigned count = rt->getPortCount();
  for (unsigned i = 0; i < count; ++i) {
    std::string name = rt->getPortName(i);
    if (!name.empty()) ports.push_back({api, std::move(name)});
  }
}

// The JACK ports, in the server's order, through the client the process keeps: opening and
// closing a client for every look would reorder the server's graph each time.
void appendJackPorts(Direction direction, std::vector<PortRef>& ports) {
  if (!compiledIn(RtMidi::UNIX_JACK)) return;
  jack::ProcessClient* client = jack::ProcessClient::get();
  if (!client) return;
  for (std::string& name :
       client->midiPorts(direction == Direction::In ? JackPortIsOutput : JackPortIsInput))
    ports.push_back({RtMidi::UNIX_JACK, std::move(name)});
}

}  // namespace

std::vector<PortRef> listPorts(Direction direction) {
  std::vector<PortRef> ports;
  if (direction == Direction::In) {
    appendPorts<RtMidiIn>(RtMidi::LINUX_ALSA, ports);
  } else {
    appendPorts<RtMidiOut>(RtMidi::LINUX_ALSA, ports);
  }
  appendJackPorts(direction, ports);
  return ports;
}

std::unique_ptr<RtMidiIn> makeRtInput(RtMidi::Api api, const std::string& client,
                                      RtErrorTrap& trap) {
  return makeRt<RtMidiIn>(api, client, trap);
}

std::unique_ptr<RtMidiOut> makeRtOutput(RtMidi::Api api, const std::string& client,
                                        RtErrorTrap& trap) {
  return makeRt<RtMidiOut>(api, client, trap);
}

void abandon(RtMidi* rt) {
  static std::mutex* lock = new std::mutex;
  static auto* abandoned = new std::vector<RtMidi*>;  // never destroyed
  std::lock_guard guard(*lock);
  abandoned->push_back(rt);
}

int findPort(RtMidi& rt, const std::string& name) {
  const unsigned count = rt.getPortCount();
  for (unsigned i = 0; i < count; ++i) {
    if (rt.getPortName(i) == name) return int(i);
  }
  return -1;
}

}  // namespace varnkit::midi
