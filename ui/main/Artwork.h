#pragma once
// The built-in images of the main window, drawn in code at the sizes the layout needs; a skin
// folder may replace each of them.

#include <QIcon>
#include <QPixmap>

namespace varnkit::ui {

QPixmap padImage(bool pressed);     // 40 x 40
QPixmap groupImage(int group);      // 13 x 13, group 0, 1 or 2
QPixmap diskImage(bool pressed);    // 16 x 16
QPixmap folderImage(bool pressed);  // 16 x 16
QPixmap backgroundImage();          // 429 x 73
QPixmap barImage();                 // 432 x 37
QIcon programIcon();                // 32 x 32 and 16 x 16

}  // namespace varnkit::ui
