#pragma once
// The folder list: the open folder with its ancestors from the drive root down, and its
// subfolders below it. A double click or Enter on an entry opens that folder. Hidden folders
// (names starting with ".") are not shown.

#include <QTreeWidget>
#include <string>
#include <vector>

namespace varnkit::ui {

class DirList : public QTreeWidget {
  Q_OBJECT

 public:
  // Starts in the process's current folder (the root when that cannot be read), quietly.
  // User-interface thread.
  explicit DirList(QWidget* parent = nullptr);

  // The open folder: absolute, ending in "/" only at a drive root.
  const std::string& Path() const { return path_; }
  // Opens folder path ("" is the root; a trailing "/" is allowed), makes it the current
  // folder of its drive and raises Change, also when it was open already. A folder that does
  // not exist or cannot be read raises varnkit::Error kPathNotFound and changes nothing.
  // User-interface thread.
  void setPath(const std::string& path);
  // The full paths of the subfolders shown, in list order.
  std::vector<std::string> subfolders() const;

 signals:
  void Change();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Every entry is always open: no branch marks.
  void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

 private:
  void load(const std::string& path);
  QTreeWidgetItem* showAncestors(const std::string& folder);
  void openItem(QTreeWidgetItem* item);

  std::string path_;
  QTreeWidgetItem* open_ = nullptr;  // the open folder's entry; the user may select another
};

}  // namespace varnkit::ui
