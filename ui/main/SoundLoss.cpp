// The main window's side of a sound device that goes away and comes back: the caption and one
// message while it is gone, and the MIDI input's clock following the device.

#include <QTimer>

#include "sound/SoundOutput.h"
#include "ui/main/Form1.h"

namespace varnkit::ui {
namespace {

constexpr const char* kNoSoundCaption = "VarnKit - no sound device";

}  // namespace

void Form1::watchSound() {
  soundWatch_ = std::make_unique<DeviceWatch>(*SoundDevice(), *this);
  soundTimer_ = new QTimer(this);
  connect(soundTimer_, &QTimer::timeout, this,
          [this] { soundTimer_->setInterval(int(soundWatch_->tick().count())); });
  soundTimer_->start(int(DeviceWatch::kLook.count()));
}

void Form1::soundLost(const std::string& service) {
  midiEvents_->setClock(nullptr);  // hits are not timed on a clock that stopped
  captionBeforeLoss_ = windowTitle().toStdString();
  SetCaption(kNoSoundCaption);
  // The watch goes on looking for a device while the word is up: a box that waited for its
  // answer would hold the sound back until someone at the screen answers it.
  lossNotice_ = "The sound device (" + service +
                ") is gone. VarnKit plays on without sound and comes back by itself as soon as "
                "a sound device is there again.";
  boxes_.Notice(lossNotice_, vbOKOnly | vbExclamation, "");
}

void Form1::soundBack(const std::string&) {
  if (windowTitle() == kNoSoundCaption) SetCaption(captionBeforeLoss_);
  midiEvents_->setClock(SoundDevice()->frameClock());
  MessageBoxService::withdraw(lossNotice_);  // the loss it tells of is over
}

}  // namespace varnkit::ui
