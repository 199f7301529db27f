#pragma once
// An input port read through RtMidi: the ALSA sequencer's ports.

#include <pthread.h>

#include <atomic>
#include <memory>
#include <vector>

#include "platform/midi/InputPort.h"
#include "platform/midi/PortList.h"

namespace varnkit::midi {

class RtInputPort final : public InputPort {
 public:
  // Opens port for receiver. Not on an input's own thread.
  static MMRESULT open(const PortRef& port, MidiInReceiver& receiver,
                       std::unique_ptr<InputPort>& opened);
  // Closes the RtMidi port: its thread has ended when this returns. Never on that thread.
  ~RtInputPort() override = default;

  // True on the thread RtMidi calls this port on. Any thread.
  bool onOwnThread() const noexcept override;
  // Returns once no call into the receiver is running. Never on the port's own thread.
  void waitIdle() const noexcept override;

 private:
  explicit RtInputPort(MidiInReceiver& receiver) : InputPort(receiver) {}
  static void received(double stamp, std::vector<unsigned char>* message, void* self) noexcept;

  RtErrorTrap trap_;
  std::atomic<int> busy_{0};
  std::atomic<pthread_t> thread_{};
  std::atomic<bool> threadKnown_{false};
  std::unique_ptr<RtMidiIn> rt_;  // the last member: its thread ends before the rest goes
};

}  // namespace varnkit::midi
