#include "midi/DesignFace.h"

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QRect>
#include <QString>

namespace varnkit::midictl {

void DrawDesignFace(QPainter& painter, const QRect& bounds, const char* text) {
  painter.save();
  painter.setClipRect(bounds, Qt::IntersectClip);
  painter.fillRect(bounds, Qt::black);
  QFont font = painter.font();
  font.setStyleStrategy(QFont::NoAntialias);
  painter.setFont(font);
  painter.setRenderHint(QPainter::TextAntialiasing, false);
  painter.setPen(QColor(0, 0, 255));
  painter.setBackground(Qt::black);
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.drawText(bounds, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   QString::fromLatin1(text));
  painter.restore();
}

}  // namespace varnkit::midictl
