#include "ui/toolkit/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/toolkit/Twips.h"

namespace varnkit::ui {
namespace {

int buttonOf(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return vbLeftButton;
    case Qt::RightButton:
      return vbRightButton;
    case Qt::MiddleButton:
      return vbMiddleButton;
    default:
      return 0;
  }
}

}  // namespace

int shiftState(Qt::KeyboardModifiers modifiers) {
  return (modifiers & Qt::ShiftModifier ? vbShiftMask : 0) |
         (modifiers & Qt::ControlModifier ? vbCtrlMask : 0) |
         (modifiers & Qt::AltModifier ? vbAltMask : 0);
}

PictureBox::PictureBox(QWidget* parent, int index) : QWidget(parent), index_(index) {
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Window);
}

void PictureBox::setPicture(PictureRef picture) {
  picture_ = std::move(picture);
  update();
}

void PictureBox::paintEvent(QPaintEvent*) {
  if (!picture_) return;
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_->pixmap());
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
  const QPointF at = event->position() * kTwipsPerPixel;
  emit MouseDown(index_, buttonOf(event->button()), shiftState(event->modifiers()), float(at.x()),
                 float(at.y()));
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
  const QPointF at = event->position() * kTwipsPerPixel;
  emit MouseUp(index_, buttonOf(event->button()), shiftState(event->modifiers()), float(at.x()),
               float(at.y()));
}

}  // namespace varnkit::ui
