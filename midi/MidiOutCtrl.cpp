#include "midi/MidiOutCtrl.h"

#include <algorithm>

#include "midi/DesignFace.h"

namespace varnkit::midictl {

CMidi_OUTCtrl::CMidi_OUTCtrl(midi::MidiPorts& ports) : ports_(ports) {}

CMidi_OUTCtrl::~CMidi_OUTCtrl() {
  OutClose();
}

void CMidi_OUTCtrl::Status(int32_t nval) noexcept {
  status_ = nval;
  SetModifiedFlag();
}

int32_t CMidi_OUTCtrl::OutOpen(int32_t DeviceID) {
  midi::HMIDIOUT opened = 0;
  const midi::MMRESULT result = ports_.outOpen(uint32_t(DeviceID), opened);
  if (result != midi::MMSYSERR_NOERROR) return int32_t(result);
  // Overwriting the handle would leave the old output open with nobody able to close it.
  if (handle_ != 0) ports_.outClose(handle_);
  handle_ = opened;
  status_ = kOpen;
  return 0;
}

int32_t CMidi_OUTCtrl::OutClose() {
  // Closed whenever a handle is held, whatever Status was set to.
  if (handle_ != 0) ports_.outClose(handle_);
  handle_ = 0;
  if (status_ > kClosed) status_ = kClosed;
  return 0;
}

int32_t CMidi_OUTCtrl::OutCount() {
  return int32_t(ports_.outCount());
}

std::string CMidi_OUTCtrl::OutName(int32_t DeviceID) {
  ports_.outName(uint32_t(DeviceID), name_);
  return name_;
}

int32_t CMidi_OUTCtrl::SendMidi(int32_t Msg, int16_t Channel, int16_t Data1, int16_t Data2) {
  // The channel is added, not masked: Channel 16 with a note on gives status 160.
  const uint32_t status = (uint32_t(Msg) + uint32_t(Channel)) & 0xFF;
  const uint32_t packed =
      status | (uint32_t(uint8_t(Data1)) << 8) | (uint32_t(uint16_t(Data2)) << 16);
  return int32_t(ports_.outShortMsg(handle_, packed, midi::SendWait::Bounded));
}

int32_t CMidi_OUTCtrl::SendSysEx(const std::string& Data, int32_t Len) {
  const std::size_t length = Len < 1 ? 0 : std::min(std::size_t(Len), Data.size());
  if (buffer_.size() < length + 1) buffer_.resize(length + 1);
  std::copy_n(Data.begin(), length, buffer_.begin());
  buffer_[length] = 0;
  midi::MidiHeader header;
  header.data = buffer_.data();
  header.bufferLength = uint32_t(length);
  if (const auto r = ports_.outPrepareHeader(handle_, header); r != 0) return int32_t(r);
  if (const auto r = ports_.outLongMsg(handle_, header); r != 0) return int32_t(r);
  return int32_t(ports_.outUnprepareHeader(handle_, header));
}

void CMidi_OUTCtrl::OnDraw(QPainter& painter, const QRect& bounds) const {
  DrawDesignFace(painter, bounds, "OUT");
}

}  // namespace varnkit::midictl
