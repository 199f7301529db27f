#pragma once
// The module's dialogs are laid out in dialog units of their 8 pt sans font. A unit is a
// quarter of the font's average character width across, an eighth of its height down; the
// base units used are those of MS Sans Serif 8 pt at 96 dots per inch, 6 × 13 pixels, so
// that the dialogs keep the proportions they were drawn with. Pixels are Qt's logical
// pixels, which high-density screens scale.

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace varnkit::midictl {

inline constexpr int kBaseUnitX = 6;
inline constexpr int kBaseUnitY = 13;

// units × base / parts, rounded half away from zero, as dialog templates round.
constexpr int scaleDialogUnits(int units, int base, int parts) {
  const int scaled = units * base;
  return scaled >= 0 ? (scaled + parts / 2) / parts : -((-scaled + parts / 2) / parts);
}

constexpr int dluToPixelsX(int units) {
  return scaleDialogUnits(units, kBaseUnitX, 4);
}
constexpr int dluToPixelsY(int units) {
  return scaleDialogUnits(units, kBaseUnitY, 8);
}

inline QSize dialogSize(int width, int height) {
  return {dluToPixelsX(width), dluToPixelsY(height)};
}
inline QPoint dialogPoint(int x, int y) {
  return {dluToPixelsX(x), dluToPixelsY(y)};
}
inline QRect dialogRect(int x, int y, int width, int height) {
  return {dialogPoint(x, y), dialogSize(width, height)};
}

// The dialogs' font: 8 pt sans serif.
inline QFont dialogFont() {
  QFont font(QStringLiteral("Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace varnkit::midictl
