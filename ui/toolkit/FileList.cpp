#include "ui/toolkit/FileList.h"

#include "ui/toolkit/ShownText.h"

#include <QMouseEvent>
#include <filesystem>
#include <set>
#include <sstream>
#include <system_error>

#include "platform/Error.h"
#include "platform/files/Lookup.h"
#include "ui/toolkit/Drives.h"

namespace varnkit::ui {
namespace {

// The patterns a list of them separated by ";" holds ("*.wav;*.flac"). A list of none is the
// empty pattern, which names no file.
std::vector<std::string> patternsIn(const std::string& pattern) {
  std::vector<std::string> parts;
  std::istringstream in(pattern);
  for (std::string part; std::getline(in, part, ';');) {
    if (!part.empty()) parts.push_back(part);
  }
  if (parts.empty()) parts.emplace_back();
  return parts;
}

// The ordinary files of folder that match any of the patterns, in list order, each once;
// raises when the folder cannot be read.
std::vector<std::string> readFiles(const std::string& folder, const std::string& pattern) {
  const std::string base = folder.back() == '/' ? folder : folder + "/";
  files::DirLookup lookup;
  std::set<std::string> names;
  for (const std::string& one : patternsIn(pattern)) {
    for (std::string name = lookup.first(base + one); !name.empty(); name = lookup.next()) {
      names.insert(name);
    }
    if (!lookup.problem().empty())
      throw Error(kPathNotFound, "Path not found: " + lookup.problem());
  }
  std::vector<std::string> sorted(names.begin(), names.end());
  sortForList(sorted);
  return sorted;
}

}  // namespace

FileList::FileList(QWidget* parent) : QListWidget(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemSelectionChanged, this, [this] { selectionMoved(); });
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::current_path(ec);
  path_ = ec ? "/" : listPath(here.string());
  try {
    Refresh();
  } catch (const Error&) {
    // An unreadable start leaves the list empty.
  }
}

void FileList::setPath(const std::string& path) {
  const std::string folder = listPath(path);
  std::vector<std::string> names = readFiles(folder, pattern_);
  quiet_ = true;
  clear();
  for (const std::string& name : names) addItem(shownText(name));
  quiet_ = false;
  names_ = std::move(names);
  path_ = folder;
}

void FileList::setPattern(const std::string& pattern) {
  const std::string old = pattern_;
  pattern_ = pattern;
  try {
    Refresh();
  } catch (const Error&) {
    pattern_ = old;
    throw;
  }
}

const std::string& FileList::List(int index) const {
  checkIndex(index);
  return names_[size_t(index)];
}

bool FileList::Selected(int index) const {
  checkIndex(index);
  return item(index)->isSelected();
}

void FileList::setSelected(int index, bool selected) {
  checkIndex(index);
  if (selected) {
    setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
  } else {
    item(index)->setSelected(false);
  }
}

int FileList::ListIndex() const {
  for (int i = 0; i < count(); ++i) {
    if (item(i)->isSelected()) return i;
  }
  return -1;
}

std::string FileList::FileName() const {
  const int index = ListIndex();
  return index < 0 ? std::string() : names_[size_t(index)];
}

void FileList::mousePressEvent(QMouseEvent* event) {
  quiet_ = true;
  QListWidget::mousePressEvent(event);
  quiet_ = false;
  const QListWidgetItem* hit = itemAt(event->position().toPoint());
  if (hit && hit->isSelected()) emit Click();
}

void FileList::mouseDoubleClickEvent(QMouseEvent* event) {
  QListWidget::mouseDoubleClickEvent(event);
  if (itemAt(event->position().toPoint())) emit DblClick();
}

void FileList::checkIndex(int index) const {
  if (index < 0 || index >= ListCount()) {
    throw Error(kInvalidIndex, "Invalid property array index: " + std::to_string(index));
  }
}

void FileList::selectionMoved() {
  if (!quiet_ && ListIndex() >= 0) emit Click();
}

}  // namespace varnkit::ui
