#pragma once
// A hidden menu shown only as a pop-up, with an indexed set of items that grows at run time,
// each with a caption and a check mark.

#include <QMenu>
#include <QObject>
#include <functional>
#include <string>
#include <vector>

namespace varnkit::ui {

class PopupMenu : public QObject {
  Q_OBJECT

 public:
  // caption: the menu's own caption; firstItem: the caption of item 0.
  PopupMenu(const std::string& caption, const std::string& firstItem, QWidget* parent = nullptr);

  // Adds item index (the next number) with caption, unchecked, above any command.
  // User-interface thread.
  void Load(int index, const std::string& caption);
  // Adds a command below the items, after a separator, that calls run when chosen.
  // User-interface thread.
  void addCommand(const std::string& caption, std::function<void()> run);
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
  QAction* separator_ = nullptr;  // above the commands, once there is one
};

}  // namespace varnkit::ui
