#include "midi/MidiInCtrl.h"

#include <memory>

#include "midi/Decode.h"
#include "midi/DesignFace.h"

namespace varnkit::midictl {

CMidi_INCtrl::CMidi_INCtrl(midi::MidiPorts& ports) : ports_(ports) {}

CMidi_INCtrl::~CMidi_INCtrl() {
  closeDevice();
}

void CMidi_INCtrl::Status(int32_t nval) noexcept {
  status_.store(nval);
  SetModifiedFlag();
}

void CMidi_INCtrl::HMidiThru(int32_t nval) noexcept {
  thru_.store(nval);
  SetModifiedFlag();
}

int32_t CMidi_INCtrl::InOpen(int32_t DeviceID) {
  // Whatever Status says: a device is closed whenever one is held, so none is ever lost.
  closeDevice();
  status_.store(kClosed);
  std::unique_ptr<midi::MidiIn> opened;
  const midi::MMRESULT result = ports_.inOpen(uint32_t(DeviceID), *this, opened);
  if (result != midi::MMSYSERR_NOERROR) return int32_t(result);
  midi::MidiIn* device = opened.release();
  delete device_.exchange(device);  // one another thread opened meanwhile
  // Receiving is set before starting: once started, a Message handler may close or destroy
  // this control, so nothing here touches it after a successful start.
  status_.store(kReceiving);
  const midi::MMRESULT started = device->start();
  if (started != midi::MMSYSERR_NOERROR) status_.store(kOpened);  // no handler has run
  return int32_t(started);
}

int32_t CMidi_INCtrl::InClose() {
  closeDevice();
  int32_t status = status_.load();
  while (status > kClosed && !status_.compare_exchange_weak(status, kClosed)) {
  }
  return 0;
}

int32_t CMidi_INCtrl::InCount() {
  return int32_t(ports_.inCount());
}

std::string CMidi_INCtrl::InName(int32_t DeviceID) {
  ports_.inName(uint32_t(DeviceID), name_);
  return name_;
}

void CMidi_INCtrl::OnDraw(QPainter& painter, const QRect& bounds) const {
  DrawDesignFace(painter, bounds, "IN");
}

void CMidi_INCtrl::closeDevice() noexcept {
  delete device_.exchange(nullptr);
}

void CMidi_INCtrl::onMessage(uint32_t packed, std::optional<uint32_t> frame) noexcept {
  MidiInEvents* sink = sink_.load(std::memory_order_acquire);
  if (sink == nullptr) return;
  const DecodedMessage m = decodeMessage(packed);
  // A MessageAt handler may close or destroy this control: only locals are used after it.
  if (frame) sink->MessageAt(m.Msg, m.Channel, m.Data1, m.Data2, int32_t(*frame));
  sink->Message(m.Msg, m.Channel, m.Data1, m.Data2);
}

void CMidi_INCtrl::afterMessage(uint32_t packed) noexcept {
  const auto thru = midi::HMIDIOUT(thru_.load());
  if (thru != 0) ports_.outShortMsg(thru, packed, midi::SendWait::Never);
}

}  // namespace varnkit::midictl
