#pragma once
// The type library VERIRud of the Midi module: the message kinds, the two controls' dispatch
// and event interfaces with their members, and the two control classes. Registration writes
// it into the registry; the controls check every call against it.

#include "platform/com/Guid.h"
#include "platform/com/TypeInfo.h"

namespace varnkit::midictl::VERIRud {

using com::guid;

inline constexpr com::GUID kLibId = guid("{EE5F8E41-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr com::IID kDMidi_IN = guid("{EE5F8E42-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr com::IID kDMidi_INEvents = guid("{EE5F8E43-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr com::CLSID kMI = guid("{EE5F8E44-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr com::IID kDMidi_OUT = guid("{EE5F8E46-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr com::IID kDMidi_OUTEvents = guid("{EE5F8E47-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr com::CLSID kMO = guid("{EE5F8E48-FCBB-11D3-B76C-DC249AF7BE36}");

// Dispatch ids of _DMidi_IN.
namespace in {
inline constexpr com::DISPID Status = 1;
inline constexpr com::DISPID HMidiThru = 2;
inline constexpr com::DISPID InOpen = 3;
inline constexpr com::DISPID InClose = 4;
inline constexpr com::DISPID InCount = 5;
inline constexpr com::DISPID InName = 6;
inline constexpr com::DISPID AboutBox = com::DISPID_ABOUTBOX;
// Of _DMidi_INEvents.
inline constexpr com::DISPID Message = 1;
inline constexpr com::DISPID MessageAt = 2;
}  // namespace in

// Dispatch ids of _DMidi_OUT.
namespace out {
inline constexpr com::DISPID Status = 1;
inline constexpr com::DISPID HMidi = 2;
inline constexpr com::DISPID OutOpen = 3;
inline constexpr com::DISPID OutCount = 4;
inline constexpr com::DISPID SendMidi = 5;
inline constexpr com::DISPID OutName = 6;
inline constexpr com::DISPID OutClose = 7;
inline constexpr com::DISPID SendSysEx = 8;
}  // namespace out

extern const com::EnumDesc MTyp;
extern const com::InterfaceDesc DMidi_IN;
extern const com::InterfaceDesc DMidi_INEvents;
extern const com::CoClassDesc MI;
extern const com::InterfaceDesc DMidi_OUT;
extern const com::InterfaceDesc DMidi_OUTEvents;
extern const com::CoClassDesc MO;
extern const com::TypeLibDesc library;

}  // namespace varnkit::midictl::VERIRud
