#include "platform/midi/InputPort.h"

#include <chrono>
#include <exception>
#include <thread>

#include "platform/midi/JackCycles.h"
#include "platform/midi/ShortMessage.h"

namespace varnkit::midi {

MMRESULT InputPort::open(const PortRef& port, MidiInReceiver& receiver,
                         std::unique_ptr<InputPort>& opened) {
  std::unique_ptr<InputPort> in(new InputPort(receiver));
  in->rt_ = makeRtInput(port.api, "VarnKit MIDI in", in->trap_);
  if (!in->rt_) return MMSYSERR_NODRIVER;
  try {
    // System-exclusive input is never handed on; timing clock and active sensing are.
    in->rt_->ignoreTypes(true, false, false);
    in->rt_->setCallback(&InputPort::received, in.get());
    const int number = findPort(*in->rt_, port.name);
    if (number < 0) return MMSYSERR_BADDEVICEID;  // gone since it was counted
    in->rt_->openPort(unsigned(number), "in");
  } catch (const std::exception&) {
    return MMSYSERR_ERROR;
  }
  if (const MMRESULT failed = in->trap_.take(); failed != MMSYSERR_NOERROR) return failed;
  if (!in->rt_->isPortOpen()) return MMSYSERR_ERROR;
  // The server takes up a new connection at the start of a cycle: until it has, nothing
  // arrives. Opened means ready to receive.
  if (port.api == RtMidi::UNIX_JACK) {
    in->server_ = JackCycles::shared();
    if (in->server_) in->server_->waitCycles(JackCycles::kCyclesToConnect, std::chrono::seconds(1));
  }
  opened = std::move(in);
  return MMSYSERR_NOERROR;
}

InputPort::~InputPort() {
  // RtMidi's destructor ends its thread, on JACK by cancelling it wherever it is; by now
  // that thread only looks at the flags above. A client of a server that has gone is not
  // closed at all (see JackCycles.h).
  if (server_ && !server_->running()) abandon(rt_.release());
  rt_.reset();
}

bool InputPort::onOwnThread() const noexcept {
  return threadKnown_.load(std::memory_order_acquire) &&
         pthread_equal(thread_.load(std::memory_order_relaxed), pthread_self());
}

void InputPort::waitIdle() const noexcept {
  while (busy_.load() != 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

void InputPort::received(double /*stamp*/, std::vector<unsigned char>* message,
                         void* self) noexcept {
  auto& in = *static_cast<InputPort*>(self);
  if (!in.threadKnown_.load(std::memory_order_relaxed)) {
    in.thread_.store(pthread_self(), std::memory_order_relaxed);
    in.threadKnown_.store(true, std::memory_order_release);
  }
  // Counted before attached_ is read, so that a closer that detaches and then finds
  // busy_ at 0 knows this call will not reach the receiver.
  in.busy_.fetch_add(1);
  if (in.attached_.load() && in.started_.load(std::memory_order_acquire) && message != nullptr)
    in.deliver(*message);
  in.busy_.fetch_sub(1);  // the last touch: a closer may free the port right after it
}

void InputPort::deliver(const std::vector<unsigned char>& message) noexcept {
  uint32_t packed = 0;
  if (!packReceived(message.data(), message.size(), packed)) return;
  receiver_.onMessage(packed);
  if (attached_.load()) receiver_.afterMessage(packed);
}

}  // namespace varnkit::midi
