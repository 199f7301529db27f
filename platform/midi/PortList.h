#pragma once
// The ports of the system, numbered as the services number them: ALSA sequencer ports
// first, then JACK ports.

#include <rtmidi/RtMidi.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/midi/RtErrors.h"

namespace varnkit::midi {

enum class Direction { In, Out };

// One port as the list shows it: its service and its full name there.
struct PortRef {
  RtMidi::Api api = RtMidi::UNSPECIFIED;
  std::string name;
};

// Every port of the direction present now. An input port is another client's output.
std::vector<PortRef> listPorts(Direction direction);

// A new RtMidi object of api named client, reporting to trap; null when the service is
// missing (no ALSA sequencer, for one: RtMidi throws then).
std::unique_ptr<RtMidiIn> makeRtInput(RtMidi::Api api, const std::string& client,
                                      RtErrorTrap& trap);
std::unique_ptr<RtMidiOut> makeRtOutput(RtMidi::Api api, const std::string& client,
                                        RtErrorTrap& trap);

// Lets go of rt without closing it, for a JACK client whose server has gone (see
// platform/jack/ProcessClient.h); it is kept where the leak checker can still see it.
void abandon(RtMidi* rt);

// The number rt gives the port named name now; -1 when it has none by that name.
int findPort(RtMidi& rt, const std::string& name);

}  // namespace varnkit::midi
