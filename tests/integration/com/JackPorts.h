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

// A virtual JACK output port the input control can open.
class JackSource {
 public:
  static constexpr const char* kPort = "varnkit-com-test-src:out";
  JackSource() : rt_(RtMidi::UNIX_JACK, "varnkit-com-test-src") { rt_.openVirtualPort("out"); }
  void send(std::vector<uint8_t> bytes) { rt_.sendMessage(bytes.data(), bytes.size()); }

 private:
  RtMidiOut rt_;
};

// A virtual JACK input port the output control can open; keeps what arrives.
class JackSink {
 public:
  static constexpr const char* kPort = "varnkit-com-test-sink:in";
  JackSink() : rt_(RtMidi::UNIX_JACK, "varnkit-com-test-sink") {
    rt_.ignoreTypes(false, false, false);
    rt_.setCallback(&JackSink::received, this);
    rt_.openVirtualPort("in");
  }
  Recording<std::vector<uint8_t>> messages;

 private:
  static void received(double, std::vector<unsigned char>* message, void* self) {
    static_cast<JackSink*>(self)->messages.add(*message);
  }
  RtMidiIn rt_;
};

}  // namespace varnkit::com::testing
