#pragma once
// A hidden menu shown only as a pop-up, with an indexed set of items that grows at run time,
// each with a caption and a check mark.

#include <QMenu>
#include <QObject>
#include <string>
#include <vector>

namespace varnkit::ui {

class PopupMenu : public QObject {
  Q_OBJECT

 public:
  // caption: the menu's own caption; firstItem: the caption of item 0.
  PopupMenu(const std::string& caption, const std::string& firstItem, QWidget* parent = nullptr);

  // Adds item index (the next number) with caption, unchecked. User-interface thread.
  void Load(int index, const std::string& caption);
  int Count() const { return int(items_.size()); }
  std::string Caption(int index) const;
  bool Checked(int index) const;
  void setChecked(int index, bool checked);
  // True when index names an item.
  bool exists(int index) const { return index >= 0 && index < Count(); }
  // Shows the menu at the mouse position; returns when it has closed.
  void popup();
  QMenu& menu() { return menu_; }

 signals:
  void Click(int index);

 private:
  QMenu menu_;
  std::vector<QAction*> items_;
};

}  // namespace varnkit::ui
