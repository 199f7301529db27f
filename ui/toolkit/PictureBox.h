#pragma once
// A picture control: shows one picture object from its top left corner on the window colour,
// reports mouse buttons, and may hold other controls (the bar).

#include <QWidget>

#include "ui/toolkit/Picture.h"

namespace varnkit::ui {

// Mouse buttons and shift states as the handlers receive them.
inline constexpr int vbLeftButton = 1;
inline constexpr int vbRightButton = 2;
inline constexpr int vbMiddleButton = 4;
inline constexpr int vbShiftMask = 1;
inline constexpr int vbCtrlMask = 2;
inline constexpr int vbAltMask = 4;

// The shift state of keyboard modifiers.
int shiftState(Qt::KeyboardModifiers modifiers);

class PictureBox : public QWidget {
  Q_OBJECT

 public:
  // index: the control's number in its indexed set, -1 when it stands alone.
  explicit PictureBox(QWidget* parent = nullptr, int index = -1);

  // Shows picture (the same object, not a copy). User-interface thread.
  void setPicture(PictureRef picture);
  const PictureRef& picture() const { return picture_; }
  int index() const { return index_; }

 signals:
  // button: 1 left, 2 right, 4 middle; shift: 1 Shift, 2 Ctrl, 4 Alt; x, y in twips.
  void MouseDown(int index, int button, int shift, float x, float y);
  void MouseUp(int index, int button, int shift, float x, float y);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  PictureRef picture_;
  int index_;
};

}  // namespace varnkit::ui
