#pragma once
// Window coordinates are given in twips, 15 to a logical pixel.

#include <QRect>

namespace varnkit::ui {

constexpr int kTwipsPerPixel = 15;

// Twips to logical pixels.
constexpr int px(int twips) {
  return twips / kTwipsPerPixel;
}

// A rectangle given in twips, in logical pixels.
inline QRect twipsRect(int left, int top, int width, int height) {
  return QRect(px(left), px(top), px(width), px(height));
}

}  // namespace varnkit::ui
