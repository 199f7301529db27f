#include "ui/toolkit/DirList.h"

#include "ui/toolkit/ShownText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyle>
#include <filesystem>
#include <system_error>

#include "platform/Error.h"
#include "ui/toolkit/Drives.h"

namespace varnkit::ui {
namespace {

namespace fs = std::filesystem;

std::string plain(const std::string& path) {
  return path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
}

std::string joined(const std::string& folder, const std::string& name) {
  return plain(folder) == "/" ? "/" + name : plain(folder) + "/" + name;
}

// The visible subfolders of folder in list order; raises when the folder cannot be read.
std::vector<std::string> readSubfolders(const std::string& folder) {
  std::error_code ec;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::error_code statEc;
    if (!name.starts_with(".") && fs::is_directory(it->status(statEc))) names.push_back(name);
  }
  if (ec) throw Error(kPathNotFound, "Path not found: " + folder + " (" + ec.message() + ")");
  sortForList(names);
  return names;
}

// Names are bytes: the item shows them as UTF-8 and keeps the exact path beside.
QTreeWidgetItem* entry(QTreeWidgetItem* item, const std::string& text, const std::string& path,
                       const QIcon& icon) {
  item->setText(0, shownText(text));
  item->setData(0, Qt::UserRole, QByteArray::fromStdString(path));
  item->setIcon(0, icon);
  return item;
}

std::string pathOf(const QTreeWidgetItem* item) {
  return item->data(0, Qt::UserRole).toByteArray().toStdString();
}

}  // namespace

DirList::DirList(QWidget* parent) : QTreeWidget(parent) {
  setHeaderHidden(true);
  setColumnCount(1);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setIndentation(10);
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  for (const std::string& start : {ec ? std::string("/") : here.string(), std::string("/")}) {
    try {
      load(start);
      return;
    } catch (const Error&) {
      path_ = "/";  // an unreadable start leaves an empty list on the root
    }
  }
}

void DirList::setPath(const std::string& path) {
  load(path);
  emit Change();
}

std::vector<std::string> DirList::subfolders() const {
  std::vector<std::string> paths;
  for (int i = 0; open_ && i < open_->childCount(); ++i) paths.push_back(pathOf(open_->child(i)));
  return paths;
}

void DirList::load(const std::string& path) {
  const std::string folder = listPath(path);
  const std::vector<std::string> names = readSubfolders(folder);
  clear();
  open_ = nullptr;
  QTreeWidgetItem* open = showAncestors(folder);
  const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
  for (const std::string& name : names) {
    entry(new QTreeWidgetItem(open), name, joined(folder, name), closed);
  }
  expandAll();
  setCurrentItem(open);
  scrollToItem(open);
  open_ = open;
  path_ = folder;
  rememberFolder(folder);
}

// The chain from the folder's drive root down to the folder; returns the folder's entry.
QTreeWidgetItem* DirList::showAncestors(const std::string& folder) {
  const QIcon icon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const std::string target = plain(folder);
  std::string at = driveOf(target, mountedDrives());
  QTreeWidgetItem* item = entry(new QTreeWidgetItem(this), at, at, icon);
  size_t from = at == "/" ? 0 : at.size();  // where the "/" before the next name stands
  while (from + 1 < target.size()) {
    const size_t end = std::min(target.find('/', from + 1), target.size());
    const std::string name = target.substr(from + 1, end - from - 1);
    at = joined(at, name);
    item = entry(new QTreeWidgetItem(item), name, at, icon);
    from = end;
  }
  return item;
}

void DirList::mouseDoubleClickEvent(QMouseEvent* event) {
  if (QTreeWidgetItem* item = itemAt(event->position().toPoint())) {
    openItem(item);
    return;
  }
  QTreeWidget::mouseDoubleClickEvent(event);
}

void DirList::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
    openItem(currentItem());
    return;
  }
  QTreeWidget::keyPressEvent(event);
}

void DirList::openItem(QTreeWidgetItem* item) {
  try {
    setPath(pathOf(item));
  } catch (const Error&) {
    // The folder went away or is closed to us: show what is there now.
    QApplication::beep();
    try {
      load(path_);
    } catch (const Error&) {
    }
  }
}

}  // namespace varnkit::ui
