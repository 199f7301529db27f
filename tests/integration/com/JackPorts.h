#pragma once
// JACK MIDI ports of the test's own on the other side of the controls, and recorders that
// take no lock, for the MIDI thread to write into.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/integration/midi/MidiJackFixtures.h"

namespace varnkit::com::testing {

using namespace std::chrono_literals;

using midictl::testing::Recording;
using midictl::testing::waitUntil;

// Skips the test when no JACK server answers.
inline bool jackRunning() {
  jack_client_t* probe = jack_client_open("varnkit-com-probe", JackNoStartServer, nullptr);
  if (probe == nullptr) return false;
  jack_client_close(probe);
  return true;
}

inline constexpr char kSourceClient[] = "varnkit-com-test-src";
inline constexpr char kSinkClient[] = "varnkit-com-test-sink";
// A virtual JACK output port the input control can open.
using JackSource = midictl::testing::JackSourceOf<kSourceClient>;
// A virtual JACK input port the output control can open; keeps what arrives.
using JackSink = midictl::testing::JackSinkOf<kSinkClient, 1000>;

}  // namespace varnkit::com::testing
