#include "ui/main/Artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace varnkit::ui {
namespace {

// Built-in images are 24-bit bitmaps: no transparency.
QImage canvas(int w, int h, QColor fill) {
  QImage image(w, h, QImage::Format_RGB888);
  image.fill(fill);
  return image;
}

const QColor kFace(40, 42, 48);

}  // namespace

QPixmap padImage(bool pressed) {
  QImage image = canvas(40, 40, kFace);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  // The rim: a dark ring that catches light at the top.
  QLinearGradient rim(0, 0, 0, 40);
  rim.setColorAt(0, QColor(120, 124, 132));
  rim.setColorAt(1, QColor(20, 20, 24));
  p.setPen(Qt::NoPen);
  p.setBrush(rim);
  p.drawRoundedRect(QRectF(1, 1, 38, 38), 7, 7);
  // The rubber face: matt grey at rest, lit from inside when hit.
  QRadialGradient face(QPointF(17, 15), 24);
  if (pressed) {
    face.setColorAt(0, QColor(255, 214, 120));
    face.setColorAt(0.5, QColor(240, 130, 30));
    face.setColorAt(1, QColor(120, 40, 10));
  } else {
    face.setColorAt(0, QColor(92, 96, 104));
    face.setColorAt(0.7, QColor(58, 60, 66));
    face.setColorAt(1, QColor(36, 37, 41));
  }
  p.setBrush(face);
  p.drawRoundedRect(QRectF(4, 4, 32, 32), 5, 5);
  // A soft highlight, so the face reads as a surface to strike.
  p.setBrush(QColor(255, 255, 255, pressed ? 70 : 28));
  p.drawEllipse(QRectF(9, 7, 16, 8));
  return QPixmap::fromImage(image);
}

QPixmap groupImage(int group) {
  static const QColor lit[] = {QColor(70, 72, 78), QColor(60, 230, 90), QColor(255, 80, 60)};
  QImage image = canvas(13, 13, kFace);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(15, 15, 18), 1));
  const QColor c = lit[group < 0 || group > 2 ? 0 : group];
  QRadialGradient led(QPointF(5, 5), 7);
  led.setColorAt(0, c.lighter(group == 0 ? 110 : 160));
  led.setColorAt(1, c.darker(150));
  p.setBrush(led);
  p.drawEllipse(QRectF(1.5, 1.5, 10, 10));
  if (group > 0) {  // the number as dots, so the groups differ in shape as well as colour
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 20));
    if (group == 1) p.drawEllipse(QRectF(5, 5, 3, 3));
    if (group == 2) {
      p.drawEllipse(QRectF(3, 5, 3, 3));
      p.drawEllipse(QRectF(7, 5, 3, 3));
    }
  }
  return QPixmap::fromImage(image);
}

QPixmap diskImage(bool pressed) {
  QImage image = canvas(16, 16, QColor(64, 64, 64));
  QPainter p(&image);
  const int d = pressed ? 1 : 0;  // pressed: the disk sinks by a pixel
  p.fillRect(1 + d, 1 + d, 14, 14, pressed ? QColor(20, 60, 120) : QColor(30, 90, 170));
  p.fillRect(4 + d, 1 + d, 8, 5, QColor(210, 210, 215));   // shutter
  p.fillRect(9 + d, 2 + d, 2, 3, QColor(30, 90, 170));     // shutter window
  p.fillRect(3 + d, 9 + d, 10, 6, QColor(245, 245, 240));  // label
  p.setPen(QColor(150, 150, 160));
  p.drawLine(4 + d, 11 + d, 11 + d, 11 + d);
  p.drawLine(4 + d, 13 + d, 11 + d, 13 + d);
  return QPixmap::fromImage(image);
}

QPixmap folderImage(bool pressed) {
  QImage image = canvas(16, 16, QColor(64, 64, 64));
  QPainter p(&image);
  const QColor body = pressed ? QColor(200, 150, 40) : QColor(240, 190, 70);
  p.fillRect(1, 3, 6, 2, body.darker(120));
  p.fillRect(1, 5, 14, 9, body);
  p.setPen(body.darker(160));
  p.drawRect(1, 5, 13, 8);
  return QPixmap::fromImage(image);
}

QPixmap backgroundImage() {
  QImage image = canvas(429, 73, kFace);
  QPainter p(&image);
  QLinearGradient g(0, 0, 0, 73);
  g.setColorAt(0, QColor(58, 61, 70));
  g.setColorAt(1, QColor(28, 29, 34));
  p.fillRect(image.rect(), g);
  // Fine brushed-metal lines.
  for (int y = 0; y < 73; y += 2) {
    p.setPen(QColor(255, 255, 255, y % 6 == 0 ? 10 : 5));
    p.drawLine(0, y, 428, y);
  }
  p.setPen(QColor(255, 255, 255, 40));
  p.drawLine(0, 0, 428, 0);
  return QPixmap::fromImage(image);
}

QPixmap barImage() {
  QImage image = canvas(432, 37, QColor(24, 24, 28));
  QPainter p(&image);
  QLinearGradient g(0, 0, 0, 37);
  g.setColorAt(0, QColor(36, 36, 42));
  g.setColorAt(1, QColor(14, 14, 16));
  p.fillRect(image.rect(), g);
  p.setPen(QColor(90, 90, 100));
  p.drawLine(0, 0, 431, 0);
  p.setRenderHint(QPainter::Antialiasing);
  QFont f("DejaVu Sans", 11, QFont::Bold);
  f.setItalic(true);
  p.setFont(f);
  p.setPen(QColor(240, 130, 30));
  p.drawText(QRect(10, 0, 150, 37), Qt::AlignVCenter | Qt::AlignLeft, "VarnKit");
  return QPixmap::fromImage(image);
}

QIcon programIcon() {
  QIcon icon;
  for (int size : {32, 16}) {
    QImage image(size, size, QImage::Format_RGB888);
    image.fill(kFace);
    QPainter p(&image);
    p.drawPixmap(QRect(0, 0, size, size), padImage(true));
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

}  // namespace varnkit::ui
