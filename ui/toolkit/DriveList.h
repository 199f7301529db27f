#pragma once
// The drive list: a drop-down of the mounted drives, one of them chosen. Choosing another
// drive, by the user or by code, raises Change.

#include <QComboBox>
#include <string>

namespace varnkit::ui {

class DriveList : public QComboBox {
  Q_OBJECT

 public:
  // Starts on the drive of the process's current folder. User-interface thread.
  explicit DriveList(QWidget* parent = nullptr);

  // The chosen drive's root folder ("/", "/media/usb").
  const std::string& Drive() const { return drive_; }
  // Chooses the drive that holds path (a drive root or any absolute path below one) and
  // raises Change when that is another drive than the chosen one. Raises varnkit::Error
  // kDeviceUnavailable for a path that is not absolute, leaving the choice as it was.
  // User-interface thread.
  void setDrive(const std::string& path);
  // Reads the mounted drives again; the chosen drive stays chosen.
  void Refresh();

 signals:
  void Change();

 protected:
  // Volumes come and go: the list is read again each time it opens.
  void showPopup() override;

 private:
  void choose(const std::string& drive);

  std::string drive_;
};

}  // namespace varnkit::ui
