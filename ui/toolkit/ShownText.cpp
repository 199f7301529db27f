#include "ui/toolkit/ShownText.h"

#include <QStringDecoder>

namespace varnkit::ui {
namespace {

// Windows-1252 differs from Latin-1 only in 0x80 to 0x9F; the five bytes it leaves
// unassigned are shown as the control characters Latin-1 has there.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString fromWindows1252(const std::string& bytes) {
  QString text;
  text.reserve(qsizetype(bytes.size()));
  for (unsigned char c : bytes)
    text.append(QChar(c >= 0x80 && c < 0xA0 ? kHighControls[c - 0x80] : char16_t(c)));
  return text;
}

}  // namespace

QString shownText(const std::string& bytes) {
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  return utf8.hasError() ? fromWindows1252(bytes) : text;
}

}  // namespace varnkit::ui
