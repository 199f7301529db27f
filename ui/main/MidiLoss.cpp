// The main window's MIDI input device going away and coming back: noticed by looking at the
// devices now and then, told once, and opened again by its name when it is back.

#include <QTimer>

#include "ui/main/Form1.h"

namespace varnkit::ui {

void Form1::watchMidi() {
  auto* timer = new QTimer(this);
  connect(timer, &QTimer::timeout, this, [this] { lookAtMidiDevice(); });
  timer->start(int(kMidiLook.count()));
}

int32_t Form1::midiDeviceNamed(const std::string& name) {
  const int32_t n = midi_->InCount();
  for (int32_t id = 0; id < n; ++id)
    if (midi_->InName(id) == name) return id;
  return -1;
}

void Form1::lookAtMidiDevice() {
  if (!midi_) return;
  if (!lostMidiDevice_.empty()) {
    reopenMidiDevice();
    return;
  }
  int item = 0;
  for (int k = 1; k < midi->Count(); ++k)
    if (midi->Checked(k)) item = k;
  if (item == 0 || midiDeviceNamed(midi->Caption(item)) >= 0) return;
  lostMidiDevice_ = midi->Caption(item);
  midi_->InClose();
  midi->setChecked(item, false);
  midi->setChecked(0, true);
  // The remembered choice stays, so that the next start opens the device too. The look goes
  // on while the word is up: a box that waited for its answer would hold this very timer, and
  // with it the device's return, until someone at the screen answers it.
  midiLossNotice_ = "The MIDI input \"" + lostMidiDevice_ +
                    "\" is gone. VarnKit opens it again by itself when it is back.";
  boxes_.Notice(midiLossNotice_, vbOKOnly | vbExclamation, "");
}

void Form1::reopenMidiDevice() {
  const int32_t id = midiDeviceNamed(lostMidiDevice_);
  if (id < 0 || midi_->InOpen(id) != 0) return;  // not yet: next time
  for (int k = 0; k < midi->Count(); ++k) midi->setChecked(k, false);
  int item = 0;
  for (int k = midi->Count() - 1; k >= 1; --k)
    if (midi->Caption(k) == lostMidiDevice_) item = k;
  midi->setChecked(item, true);
  lostMidiDevice_.clear();
  MessageBoxService::withdraw(midiLossNotice_);  // the loss it tells of is over
}

}  // namespace varnkit::ui
