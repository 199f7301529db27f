#pragma once
// The result codes of the MIDI services, numbered as the multimedia MIDI services number them,
// so that a control hands its caller the number that caller already knows.

#include <cstdint>

namespace varnkit::midi {

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT MIDIERR_UNPREPARED = 64;
inline constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
inline constexpr MMRESULT MIDIERR_NOTREADY = 67;

// An open output port: a number from the process-wide table, never 0 while open.
using HMIDIOUT = uint32_t;

// Whether a send may wait for room in the port.
enum class SendWait {
  Bounded,  // waits a bounded time, then gives up with MIDIERR_NOTREADY
  Never,    // gives up at once: for MIDI callback threads
};

// Header flags of a long message.
inline constexpr uint32_t MHDR_DONE = 0x1;
inline constexpr uint32_t MHDR_PREPARED = 0x2;
inline constexpr uint32_t MHDR_INQUEUE = 0x4;

// One long (system-exclusive) message handed to an output port.
struct MidiHeader {
  const uint8_t* data = nullptr;
  uint32_t bufferLength = 0;
  uint32_t bytesRecorded = 0;
  uintptr_t user = 0;
  uint32_t flags = 0;
};

}  // namespace varnkit::midi
