#pragma once
// The pad editor's colours.

#include <QColor>

namespace varnkit::ui::colours {

inline QColor dialog() {
  return {192, 192, 192};
}
inline QColor listBack() {
  return {53, 53, 100};
}
inline QColor listText() {
  return {0, 192, 192};
}
inline QColor rootBack() {
  return {192, 192, 192};
}
inline QColor rootFocused() {
  return {224, 224, 224};
}
// Root holds no whole number, so the pad kept its old root key.
inline QColor rootWarning() {
  return {255, 176, 176};
}

}  // namespace varnkit::ui::colours
