#pragma once
// RtMidi's errors as result codes: it reports through a callback instead of printing or
// throwing once the callback is set.

#include <rtmidi/RtMidi.h>

#include <atomic>

#include "platform/midi/Result.h"

namespace varnkit::midi {

// The result code for an RtMidi error type.
MMRESULT resultFor(RtMidiError::Type type) noexcept;

// Catches what one RtMidi object reports. Any thread.
class RtErrorTrap {
 public:
  // Routes rt's reports here; the trap must outlive rt.
  void attach(RtMidi& rt);
  // The result code for the last report since the previous take; MMSYSERR_NOERROR if none.
  MMRESULT take() noexcept;

 private:
  static void report(RtMidiError::Type type, const std::string& text, void* self);

  std::atomic<MMRESULT> last_{MMSYSERR_NOERROR};
};

}  // namespace varnkit::midi
