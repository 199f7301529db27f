#pragma once
// Picture objects: what picture controls and image holders show. Giving a control another's
// picture makes both show the same object; states are told apart by the object, never by its
// pixels, so identical skin bitmaps still count as different pictures.

#include <QPixmap>
#include <cstdint>
#include <memory>
#include <string>

namespace varnkit::ui {

class Picture {
 public:
  explicit Picture(QPixmap pixmap) : pixmap_(std::move(pixmap)) {}
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;

  const QPixmap& pixmap() const { return pixmap_; }
  // Tells picture objects apart: equal only for the same object.
  uintptr_t Handle() const { return reinterpret_cast<uintptr_t>(this); }

 private:
  QPixmap pixmap_;
};

using PictureRef = std::shared_ptr<const Picture>;

// Loads a BMP file into a new picture object. Null when the file is missing or is not a
// readable bitmap; why goes to error when given. User-interface thread.
PictureRef LoadPicture(const std::string& path, std::string* error = nullptr);

}  // namespace varnkit::ui
