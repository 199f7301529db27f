// The pads, their group buttons, the pad keys and the bar's device menu.

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <algorithm>
#include <cctype>
#include <optional>

#include "kit/Drumkit.h"
#include "platform/audio/SampleTypes.h"
#include "sound/PadTrigger.h"
#include "ui/main/Form1.h"

namespace varnkit::ui {
namespace {

// Q W E R T Z U I O: one key per pad, in pad order.
constexpr int kPadKeys[9] = {81, 87, 69, 82, 84, 90, 85, 73, 79};

int padOfKey(int keyCode) {
  const auto* at = std::find(std::begin(kPadKeys), std::end(kPadKeys), keyCode);
  return at == std::end(kPadKeys) ? -1 : int(at - std::begin(kPadKeys));
}

bool isMouseButtonEvent(const QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      return true;
    default:
      return false;
  }
}

// The pad's name after its first sample's file: without its audio ending. A name holding ".wav"
// anywhere loses its last four characters, whatever they are ("x.wav.bak" gives "x.wav"), as
// pads have always been named; other names lose an ending the decoder reads ("Snare.FLAC").
std::optional<std::string> padNameOf(const std::string& file) {
  std::string lower = file;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  if (lower.find(".wav") != std::string::npos) {
    if (file.size() <= 4) return std::nullopt;
    return file.substr(0, file.size() - 4);
  }
  const size_t ending = audio::sampleExtensionLength(file);
  if (ending == 0) return std::nullopt;
  return file.substr(0, file.size() - ending);
}

}  // namespace

void Form1::PAD_MouseDown(int Index, int Button, int, float, float) {
  if (Button == vbLeftButton) PlayPad(*state_, int16_t(Index), 127);
  PAD.at(std::size_t(Index))->setPicture(P->picture());
}

void Form1::PAD_MouseUp(int Index, int Button, int, float, float) {
  PAD.at(std::size_t(Index))->setPicture(U->picture());
  if (Button != vbRightButton) return;
  StopPad(*state_, int16_t(Index));
  state_->kitChanged = true;
  editPad(int16_t(Index));
  preset& pad = state_->kit().Instrument(int16_t(Index));
  const Layer* first = pad.Item("I0");
  if (first == nullptr) return;
  const std::optional<std::string> name = padNameOf(first->filename);
  if (!name) return;
  // The name goes to the pad as the file's bytes, not back through the shown tool tip.
  SetPadTooltip(Index, *name);
  pad.PAD(*name);
}

void Form1::GP_MouseUp(int Index, int, int, float, float) {
  preset& pad = state_->kit().Instrument(int16_t(Index));
  const PictureRef& shown = GP.at(std::size_t(Index))->picture();
  if (shown == Lon->picture()) {
    pad.Grp(2);
  } else if (shown == Lo2->picture()) {
    pad.Grp(0);
  } else {
    pad.Grp(1);
  }
}

void Form1::Form_KeyDown(int& KeyCode, int) {
  if (nameFocus) return;
  const int pad = padOfKey(KeyCode);
  if (pad < 0) return;
  PlayPad(*state_, int16_t(pad), 127);
  PAD[std::size_t(pad)]->setPicture(P->picture());
  KeyCode = 0;
}

void Form1::Form_KeyUp(int& KeyCode, int) {
  const int pad = padOfKey(KeyCode);
  if (pad < 0) return;
  PAD[std::size_t(pad)]->setPicture(U->picture());
  KeyCode = 0;
}

void Form1::Picture1_MouseUp(int Button, int, float, float) {
  if (Button == vbRightButton) midi->popup();
}

// Key preview: the window sees every key before the control that has the focus, and a key
// it consumes goes no further.
bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == static_cast<QObject*>(Label1))
    return isMouseButtonEvent(event);  // the label is no part of the bar
  if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
    return QWidget::eventFilter(watched, event);
  auto* widget = qobject_cast<QWidget*>(watched);
  // A key travels up from the focused control; preview it once, on its first stop.
  const QWidget* first = QApplication::focusWidget() ? QApplication::focusWidget() : this;
  if (widget == nullptr || widget != first || widget->window() != this) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  int code = key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z ? key->key() : -1;
  const int shift = shiftState(key->modifiers());
  if (code < 0) return false;
  // A held key arrives as release and press pairs; only the real release lets the pad up.
  if (event->type() == QEvent::KeyRelease && key->isAutoRepeat()) return padOfKey(code) >= 0;
  guarded([&] {
    if (event->type() == QEvent::KeyPress) {
      Form_KeyDown(code, shift);
    } else {
      Form_KeyUp(code, shift);
    }
  });
  return code == 0;
}

}  // namespace varnkit::ui
