// Notes from the MIDI input: they play pads, press and release pad images, and feed the pad
// editor's learn.

#include "kit/Drumkit.h"
#include "sound/PadTrigger.h"
#include "ui/main/Form1.h"

namespace varnkit::ui {
namespace {

constexpr int32_t Note_On = 144;
constexpr int32_t Note_Off = 128;

}  // namespace

void Form1::Midi_in1_Message(int32_t Msg, int16_t, int16_t Data1, int16_t Data2) {
  Drumkit& kit = state_->kit();
  if (getRoot && Msg == Note_On) {
    for (int16_t i = 0; i < 9; ++i)
      if (kit.Instrument(i).RootKey == Data1) return;  // taken: wait for a free note
    learnedRootKey(Data1);
    getRoot = false;
    return;
  }
  if (Msg == Note_On) {
    for (int16_t i = 0; i < 9; ++i) {
      if (kit.Instrument(i).RootKey != Data1) continue;
      if (!soundMade_) PlayPad(*state_, i, Data2);
      PAD[std::size_t(i)]->setPicture(P->picture());
    }
    return;
  }
  if (Msg == Note_Off) {
    for (int16_t i = 0; i < 9; ++i)
      if (kit.Instrument(i).RootKey == Data1) PAD[std::size_t(i)]->setPicture(U->picture());
  }
}

}  // namespace varnkit::ui
