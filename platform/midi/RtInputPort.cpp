#include "platform/midi/RtInputPort.h"

#include <chrono>
#include <exception>
#include <thread>

namespace varnkit::midi {

MMRESULT RtInputPort::open(const PortRef& port, MidiInReceiver& receiver,
                           std::unique_ptr<InputPort>& opened) {
  std::unique_ptr<RtInputPort> in(new RtInputPort(receiver));
  in->rt_ = makeRtInput(port.api, "VarnKit MIDI in", in->trap_);
  if (!in->rt_) return MMSYSERR_NODRIVER;
  try {
    // System-exclusive input is never handed on; timing clock and active sensing are.
    in->rt_->ignoreTypes(true, false, false);
    in->rt_->setCallback(&RtInputPort::received, in.get());
    const int number = findPort(*in->rt_, port.name);
    if (number < 0) return MMSYSERR_BADDEVICEID;  // gone since it was counted
    in->rt_->openPort(unsigned(number), "in");
  } catch (const std::exception&) {
    return MMSYSERR_ERROR;
  }
  if (const MMRESULT failed = in->trap_.take(); failed != MMSYSERR_NOERROR) return failed;
  if (!in->rt_->isPortOpen()) return MMSYSERR_ERROR;
  opened = std::move(in);
  return MMSYSERR_NOERROR;
}

bool RtInputPort::onOwnThread() const noexcept {
  return threadKnown_.load(std::memory_order_acquire) &&
         pthread_equal(thread_.load(std::memory_order_relaxed), pthread_self());
}

void RtInputPort::waitIdle() const noexcept {
  while (busy_.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void RtInputPort::received(double /*stamp*/, std::vector<unsigned char>* message,
                           void* self) noexcept {
  auto& in = *static_cast<RtInputPort*>(self);
  if (!in.threadKnown_.load(std::memory_order_relaxed)) {
    in.thread_.store(pthread_self(), std::memory_order_relaxed);
    in.threadKnown_.store(true, std::memory_order_release);
  }
  in.busy_.fetch_add(1);
  if (message != nullptr) in.deliver(message->data(), message->size(), std::nullopt);
  in.busy_.fetch_sub(1);  // the last touch: a closer may free the port right after it
}

}  // namespace varnkit::midi
