#include "platform/midi/RtErrors.h"

namespace varnkit::midi {

MMRESULT resultFor(RtMidiError::Type type) noexcept {
  switch (type) {
    case RtMidiError::NO_DEVICES_FOUND:
    case RtMidiError::INVALID_DEVICE:
      return MMSYSERR_BADDEVICEID;
    case RtMidiError::MEMORY_ERROR:
      return MMSYSERR_NOMEM;
    case RtMidiError::INVALID_PARAMETER:
    case RtMidiError::INVALID_USE:
      return MMSYSERR_INVALPARAM;
    default:
      return MMSYSERR_ERROR;
  }
}

void RtErrorTrap::attach(RtMidi& rt) {
  rt.setErrorCallback(&RtErrorTrap::report, this);
}

MMRESULT RtErrorTrap::take() noexcept {
  return last_.exchange(MMSYSERR_NOERROR);
}

void RtErrorTrap::report(RtMidiError::Type type, const std::string& /*text*/, void* self) {
  // Debug chatter is no failure; a warning is, since RtMidi warns when it could not reach
  // the JACK server and then goes on without a port.
  if (type == RtMidiError::DEBUG_WARNING) return;
  static_cast<RtErrorTrap*>(self)->last_.store(resultFor(type));
}

}  // namespace varnkit::midi
