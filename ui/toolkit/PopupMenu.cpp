#include "ui/toolkit/PopupMenu.h"

#include <QCursor>

namespace varnkit::ui {

PopupMenu::PopupMenu(const std::string& caption, const std::string& firstItem, QWidget* parent)
    : QObject(parent), menu_(QString::fromStdString(caption), parent) {
  Load(0, firstItem);
}

void PopupMenu::Load(int index, const std::string& caption) {
  if (index != Count()) return;  // items are added in order after those that exist
  // A device name may hold "&", which the menu would take for a shortcut marker.
  QAction* item = new QAction(QString::fromStdString(caption).replace("&", "&&"), &menu_);
  menu_.insertAction(separator_, item);  // null: at the end
  item->setCheckable(true);
  connect(item, &QAction::triggered, this, [this, index] {
    // Qt toggles the mark on a click; the handler alone decides where the mark goes.
    items_[std::size_t(index)]->setChecked(!items_[std::size_t(index)]->isChecked());
    emit Click(index);
  });
  items_.push_back(item);
}

void PopupMenu::addCommand(const std::string& caption, std::function<void()> run) {
  if (separator_ == nullptr) separator_ = menu_.addSeparator();
  QAction* command = menu_.addAction(QString::fromStdString(caption));
  connect(command, &QAction::triggered, this, std::move(run));
}

std::string PopupMenu::Caption(int index) const {
  if (!exists(index)) return "";
  return items_[std::size_t(index)]->text().replace("&&", "&").toStdString();
}

bool PopupMenu::Checked(int index) const {
  return exists(index) && items_[std::size_t(index)]->isChecked();
}

void PopupMenu::setChecked(int index, bool checked) {
  if (exists(index)) items_[std::size_t(index)]->setChecked(checked);
}

void PopupMenu::popup() {
  menu_.exec(QCursor::pos());
}

}  // namespace varnkit::ui
