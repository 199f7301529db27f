#include "ui/toolkit/DriveList.h"

#include <QSignalBlocker>
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/Error.h"
#include "ui/toolkit/Drives.h"

namespace varnkit::ui {

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
  std::error_code ec;
  const std::string here = std::filesystem::current_path(ec).string();
  drive_ = driveOf(ec ? "/" : here, mountedDrives());
  Refresh();
  connect(this, &QComboBox::activated, this,
          [this](int index) { choose(itemData(index).toByteArray().toStdString()); });
}

void DriveList::setDrive(const std::string& path) {
  if (!path.starts_with("/")) throw Error(kDeviceUnavailable, "Device unavailable: " + path);
  choose(driveOf(path, mountedDrives()));
}

void DriveList::Refresh() {
  std::vector<std::string> drives = mountedDrives();
  // A chosen drive that was unmounted stays listed while it is chosen.
  if (std::find(drives.begin(), drives.end(), drive_) == drives.end()) drives.push_back(drive_);
  const QSignalBlocker quiet(this);
  clear();
  for (const std::string& d : drives) {
    // Names are bytes: shown as UTF-8, kept exactly.
    addItem(QString::fromStdString(d), QByteArray::fromStdString(d));
    if (d == drive_) setCurrentIndex(count() - 1);
  }
}

void DriveList::showPopup() {
  Refresh();
  QComboBox::showPopup();
}

void DriveList::choose(const std::string& drive) {
  if (drive == drive_) return;
  drive_ = drive;
  const int index = findData(QByteArray::fromStdString(drive));
  if (index < 0) {
    Refresh();  // a drive mounted since the list was read
  } else {
    const QSignalBlocker quiet(this);
    setCurrentIndex(index);
  }
  emit Change();
}

}  // namespace varnkit::ui
