#include "platform/midi/OutputPort.h"

#include <exception>
#include <thread>

namespace varnkit::midi {
namespace {

// The ALSA sequencer takes long messages in pieces; beyond this, a message is refused as
// the multimedia services refuse a header longer than 64 KiB.
constexpr std::size_t kLongestAlsa = 65536;

// A MIDI thread tries this often to get a port another thread is writing to.
constexpr int kTriesWithoutWaiting = 1024;

}  // namespace

MMRESULT OutputPort::open(const PortRef& port, PortClaim claim,
                          std::unique_ptr<OutputPort>& opened) {
  std::unique_ptr<OutputPort> out(new OutputPort);
  out->claim_ = std::move(claim);
  if (port.api == RtMidi::UNIX_JACK) {
    out->cycles_ = jack::ProcessClient::get();
    if (!out->cycles_) return MMSYSERR_NODRIVER;
    out->serversLost_ = out->cycles_->serversLost();
  }
  out->rt_ = makeRtOutput(port.api, "VarnKit MIDI out", out->trap_);
  if (!out->rt_) return MMSYSERR_NODRIVER;
  try {
    const int number = findPort(*out->rt_, port.name);
    if (number < 0) return MMSYSERR_BADDEVICEID;  // gone since it was counted
    out->rt_->openPort(unsigned(number), "out");
  } catch (const std::exception&) {
    return MMSYSERR_ERROR;
  }
  if (const MMRESULT failed = out->trap_.take(); failed != MMSYSERR_NOERROR) return failed;
  if (!out->rt_->isPortOpen()) return MMSYSERR_ERROR;
  // The server takes up a new connection at the start of a cycle: until it has, whatever is
  // sent goes nowhere.
  if (out->cycles_) out->cycles_->waitCycles(jack::ProcessClient::kCyclesToConnect, kSendWait);
  opened = std::move(out);
  return MMSYSERR_NOERROR;
}

OutputPort::~OutputPort() {
  // What was sent last must reach the connected ports before this port goes away.
  if (cycles_) {
    const uint64_t drained = budget_.drainedAt();
    if (cycles_->count() < drained) cycles_->waitCycles(drained - cycles_->count(), kSendWait);
  }
  // RtMidi would close a client of a server that has gone (see JackMidiClient.h).
  if (cycles_ && serverGone()) abandon(rt_.release());
  // RtMidi frees a JACK output's buffer while its process callback may still be reading it.
  // Once the port is closed a callback that starts reads nothing, and one under way has long
  // ended a couple of cycles later.
  if (cycles_ && rt_) {
    rt_->closePort();
    cycles_->waitCycles(2, kSendWait);
  }
  rt_.reset();
}

std::size_t OutputPort::longest() const noexcept {
  return cycles_ ? SendBudget::longest() : kLongestAlsa;
}

MMRESULT OutputPort::sendShort(uint32_t packed, SendWait wait) noexcept {
  return whileHeld(wait, [&]() noexcept {
    uint8_t bytes[3];
    const std::size_t size = writer_.bytesFor(packed, bytes);
    if (size == 0) return MMSYSERR_INVALPARAM;
    const MMRESULT result = put(bytes, size);
    if (result == MMSYSERR_NOERROR) writer_.sent(bytes[0]);
    return result;
  });
}

MMRESULT OutputPort::sendBytes(const uint8_t* bytes, std::size_t size) noexcept {
  if (size > longest()) return MMSYSERR_INVALPARAM;
  if (size == 0) return MMSYSERR_NOERROR;  // an empty message puts nothing on the wire
  return whileHeld(SendWait::Bounded, [&]() noexcept {
    const MMRESULT result = put(bytes, size);
    if (result == MMSYSERR_NOERROR) writer_.sent(bytes[0]);
    return result;
  });
}

// Runs put with the port to itself, again while it finds no room, until wait says to give up.
template <class Put>
MMRESULT OutputPort::whileHeld(SendWait wait, Put put) noexcept {
  const bool mayWait = wait == SendWait::Bounded;
  const auto deadline = std::chrono::steady_clock::now() + kSendWait;
  for (int tries = 1;; ++tries) {
    if (!sending_.test_and_set(std::memory_order_acquire)) {
      const MMRESULT result = put();
      const bool stalled = cycles_ && cycles_->count() == stalledAt_;
      sending_.clear(std::memory_order_release);
      if (result != MIDIERR_NOTREADY || !mayWait || stalled) return result;
    } else if (!mayWait && tries >= kTriesWithoutWaiting) {
      return MIDIERR_NOTREADY;
    }
    if (!mayWait) continue;
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
  // The server ran no cycle for a whole wait: until it runs one, sends give up at once.
  if (cycles_ && !sending_.test_and_set(std::memory_order_acquire)) {
    stalledAt_ = cycles_->count();
    sending_.clear(std::memory_order_release);
  }
  return MIDIERR_NOTREADY;
}

// With the port to itself: writes the message when it surely fits.
MMRESULT OutputPort::put(const uint8_t* bytes, std::size_t size) noexcept {
  uint64_t now = 0;
  if (cycles_) {
    if (serverGone()) return MMSYSERR_NODRIVER;
    now = cycles_->count();
    if (!budget_.fits(size, now)) return MIDIERR_NOTREADY;
  }
  try {
    rt_->sendMessage(bytes, size);
  } catch (const std::exception&) {
    return MMSYSERR_ERROR;
  }
  if (cycles_) budget_.wrote(size, now);
  return trap_.take();
}

}  // namespace varnkit::midi
