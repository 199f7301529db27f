// library VERIRud, version 1.0, locale 0x409, help file "Midi.hlp".

#include "midi/typelib/VERIRud.h"

#include "midi/MTyp.h"

namespace varnkit::midictl::VERIRud {
namespace {

using com::MemberKind;
using com::VarType;
constexpr MemberKind kMethod = MemberKind::Method;
constexpr MemberKind kProperty = MemberKind::Property;

constexpr com::EnumConstant kMTyp[] = {
    {"Note_On", Note_On},           {"Note_Off", Note_Off},
    {"X_Control", X_Control},       {"X_Programm", X_Programm},
    {"X_PitchWheel", X_PitchWheel}, {"X_ChannelPressure", X_ChannelPressure},
};

constexpr com::ParamDesc kDeviceID[] = {{"DeviceID", VarType::I4}};
// Msg is an MTyp, which travels as a 32-bit integer.
constexpr com::ParamDesc kMessage[] = {
    {"Msg", VarType::I4}, {"Channel", VarType::I2}, {"Data1", VarType::I2}, {"Data2", VarType::I2}};
// Frame is a JACK frame, its 32 bits as they are.
constexpr com::ParamDesc kMessageAt[] = {{"Msg", VarType::I4},
                                         {"Channel", VarType::I2},
                                         {"Data1", VarType::I2},
                                         {"Data2", VarType::I2},
                                         {"Frame", VarType::I4}};
constexpr com::ParamDesc kSysEx[] = {{"Data", VarType::String}, {"Len", VarType::I4}};

// The second name is the one the control's own member table gives.
constexpr com::MemberDesc kInMembers[] = {
    {in::Status, "Status", nullptr, kProperty, VarType::I4, {}},
    {in::HMidiThru, "HMidiThru", "HMIDI", kProperty, VarType::I4, {}},
    {in::InOpen, "InOpen", nullptr, kMethod, VarType::I4, kDeviceID},
    {in::InClose, "InClose", nullptr, kMethod, VarType::I4, {}},
    {in::InCount, "InCount", "MidiInCount", kMethod, VarType::I4, {}},
    {in::InName, "InName", "MidiInName", kMethod, VarType::String, kDeviceID},
    {in::AboutBox, "AboutBox", nullptr, kMethod, VarType::Empty, {}},
};

constexpr com::MemberDesc kInEvents[] = {
    {in::Message, "Message", nullptr, kMethod, VarType::Empty, kMessage},
    {in::MessageAt, "MessageAt", nullptr, kMethod, VarType::Empty, kMessageAt},
};

constexpr com::MemberDesc kOutMembers[] = {
    {out::Status, "Status", nullptr, kProperty, VarType::I4, {}},
    {out::HMidi, "HMidi", nullptr, kProperty, VarType::I4, {}},
    {out::OutOpen, "OutOpen", nullptr, kMethod, VarType::I4, kDeviceID},
    {out::OutCount, "OutCount", "MidiOutCount", kMethod, VarType::I4, {}},
    {out::SendMidi, "SendMidi", nullptr, kMethod, VarType::I4, kMessage},
    {out::OutName, "OutName", "MidiOutName", kMethod, VarType::String, kDeviceID},
    {out::OutClose, "OutClose", nullptr, kMethod, VarType::I4, {}},
    {out::SendSysEx, "SendSysEx", nullptr, kMethod, VarType::I4, kSysEx},
};

}  // namespace

constinit const com::EnumDesc MTyp{"MTyp", kMTyp};

constinit const com::InterfaceDesc DMidi_IN{
    kDMidi_IN, "_DMidi_IN", "Dispatch-Schnittstelle für Midi_IN Control", kInMembers};
constinit const com::InterfaceDesc DMidi_INEvents{
    kDMidi_INEvents, "_DMidi_INEvents", "Ereignisschnittstelle für Midi_IN Control", kInEvents};
constinit const com::CoClassDesc MI{kMI, "MI", "Midi_IN Control", &DMidi_IN, &DMidi_INEvents};

constinit const com::InterfaceDesc DMidi_OUT{
    kDMidi_OUT, "_DMidi_OUT", "Dispatch-Schnittstelle für Midi_OUT Control", kOutMembers};
constinit const com::InterfaceDesc DMidi_OUTEvents{
    kDMidi_OUTEvents, "_DMidi_OUTEvents", "Ereignisschnittstelle für Midi_OUT Control", {}};
constinit const com::CoClassDesc MO{kMO, "MO", "Midi_OUT Control", &DMidi_OUT, &DMidi_OUTEvents};

namespace {

constinit const com::TypeDecl kDecls[] = {
    {.enumeration = &MTyp}, {.dispinterface = &DMidi_IN},  {.dispinterface = &DMidi_INEvents},
    {.coclass = &MI},       {.dispinterface = &DMidi_OUT}, {.dispinterface = &DMidi_OUTEvents},
    {.coclass = &MO},
};

}  // namespace

constinit const com::TypeLibDesc library{
    kLibId, "VERIRud", 1, 0, 0x409, "# Ned's Devu DodareV #", "Midi.hlp", kDecls};

}  // namespace varnkit::midictl::VERIRud
