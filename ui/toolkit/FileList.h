#pragma once
// The file list: the ordinary files of one folder whose names match a pattern ("*.wav" finds
// "KICK.WAV" too) or any of a list of them ("*.wav;*.flac"), in name order, at most one
// selected. Selecting an entry by mouse, keys or code raises Click (a click on the selected
// entry raises it again); a double click on an entry raises Click, then DblClick.

#include <QListWidget>
#include <string>
#include <vector>

namespace varnkit::ui {

class FileList : public QListWidget {
  Q_OBJECT

 public:
  // Starts in the process's current folder with the pattern "*", quietly.
  // User-interface thread.
  explicit FileList(QWidget* parent = nullptr);

  // The folder listed: absolute, ending in "/" only at a drive root.
  const std::string& Path() const { return path_; }
  // Lists folder path ("" is the root) afresh, nothing selected. A folder that cannot be
  // read raises varnkit::Error kPathNotFound and leaves the list as it was.
  // User-interface thread.
  void setPath(const std::string& path);
  // The pattern names are matched with, "*" at the start; patterns separated by ";" match a
  // name that any of them matches.
  const std::string& Pattern() const { return pattern_; }
  // Sets the pattern and lists the folder afresh (raising as setPath does).
  void setPattern(const std::string& pattern);
  // Reads the folder again, nothing selected (raising as setPath does).
  void Refresh() { setPath(path_); }

  // The entries; List, Selected and setSelected raise varnkit::Error kInvalidIndex for an
  // index outside 0 to ListCount() - 1.
  int ListCount() const { return int(names_.size()); }
  const std::string& List(int index) const;
  bool Selected(int index) const;
  // Selecting an entry moves the selection there and raises Click; deselecting raises nothing.
  void setSelected(int index, bool selected);
  // The selected entry, -1 when none is.
  int ListIndex() const;
  // The selected entry's file name, "" when none is selected.
  std::string FileName() const;

 signals:
  void Click();
  void DblClick();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void checkIndex(int index) const;
  void selectionMoved();

  std::string path_;
  std::string pattern_ = "*";
  std::vector<std::string> names_;
  bool quiet_ = false;  // the selection moves without a Click: a refresh, a mouse press
};

}  // namespace varnkit::ui
