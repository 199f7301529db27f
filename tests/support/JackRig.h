#pragma once
// Two JACK clients of the test's own, one that plays a MIDI keyboard into the program and one
// that records the program's sound, both in frames of the server's clock, so that what was
// sent and what came out can be lined up exactly. Two, as a program and its peers are: one
// client that both sent and heard would close a loop the server can only cut a cycle late.

#include <jack/jack.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/SpscQueue.h"

namespace varnkit::testing {

class JackRig {
 public:
  // seconds: how much sound it keeps at most. The recorder is the client name + "-ears".
  explicit JackRig(const std::string& name = "varnkit-rig", double seconds = 30);
  ~JackRig();
  JackRig(const JackRig&) = delete;
  JackRig& operator=(const JackRig&) = delete;

  bool ok() const { return keys_ != nullptr && ears_ != nullptr; }
  uint32_t rate() const;
  uint32_t period() const;
  // The full name of the MIDI output port, as MIDI inputs list it.
  std::string midiPort() const;
  // Connects the recorder to the first audio output port whose name starts with prefix.
  bool listenTo(const std::string& prefix);

  // Sends a three-byte message at the given frame offset of the next cycle. Any thread.
  bool send(uint8_t status, uint8_t data1, uint8_t data2, uint32_t offset = 0);
  // The server frame each sent message went out at, in order.
  std::vector<uint64_t> sentFrames() const;

  // Frames recorded so far, and the recording; frame 0 is server frame firstFrame().
  std::size_t recorded() const { return count_.load(std::memory_order_acquire); }
  std::vector<float> recording() const;
  uint64_t firstFrame() const { return first_.load(std::memory_order_acquire); }
  // Waits up to seconds until frames more than now are recorded.
  bool recordFor(std::size_t frames, double seconds = 20) const;

 private:
  struct Pending {
    uint8_t bytes[3];
    uint32_t offset;
  };
  static int play(jack_nframes_t frames, void* self);
  static int hear(jack_nframes_t frames, void* self);
  void sendQueued(jack_nframes_t frames, uint64_t cycleStart);
  void record(jack_nframes_t frames, uint64_t cycleStart);
  void mendLateSends(uint64_t cycleStart);
  void mendLateRecording(uint64_t cycleStart);

  jack_client_t* keys_ = nullptr;
  jack_client_t* ears_ = nullptr;
  jack_port_t* midiOut_ = nullptr;
  jack_port_t* audioIn_ = nullptr;
  engine::SpscQueue<Pending, 4096> pending_;
  std::vector<uint64_t> sent_;
  std::atomic<std::size_t> sentCount_{0};
  std::vector<float> samples_;
  std::atomic<std::size_t> count_{0};
  std::atomic<uint64_t> first_{0};
  std::atomic<bool> started_{false};
  // Each client's process thread only: what its last cycle did, in case its start was read late.
  uint64_t lastGap_ = 0;
  std::size_t lastFrames_ = 0;
  uint64_t nextSendStart_ = 0;  // 0: no cycle yet
  uint64_t lastSendGap_ = 0;
  std::size_t lastSendsFrom_ = 0;
};

}  // namespace varnkit::testing
