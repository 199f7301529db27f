#include "ui/toolkit/Picture.h"

#include <QFileInfo>
#include <QImageReader>

namespace varnkit::ui {

PictureRef LoadPicture(const std::string& path, std::string* error) {
  const QString file = QString::fromStdString(path);
  if (!QFileInfo(file).isFile()) {
    if (error) *error = "File not found: " + path;
    return nullptr;
  }
  QImageReader reader(file, "bmp");
  const QImage image = reader.read();
  if (image.isNull()) {
    if (error)
      *error = "Invalid picture: " + path + " (" + reader.errorString().toStdString() + ")";
    return nullptr;
  }
  return std::make_shared<Picture>(QPixmap::fromImage(image));
}

}  // namespace varnkit::ui
