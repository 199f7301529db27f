#include "ui/toolkit/DropDown.h"

#include <QLineEdit>
#include <QSignalBlocker>

namespace varnkit::ui {

DropDown::DropDown(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);  // typing names the kit; it adds no entry
  // Typing and code raise Change; choosing an entry from the list raises only Click, as the
  // kit list needs: the chosen kit must not rename the kit still in memory before it is saved.
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { emit Change(); });
  connect(this, &QComboBox::activated, this, [this] { emit Click(); });
  // The edit field takes the focus for the box; report it as the box's own.
  lineEdit()->installEventFilter(this);
}

std::string DropDown::Text() const {
  return currentText().toStdString();
}

void DropDown::setText(const std::string& text) {
  setEditText(QString::fromStdString(text));
  emit Change();  // also when the text stays the same, as typing the same text over would
}

void DropDown::Clear() {
  keepingText([this] { clear(); });
}

void DropDown::AddItem(const std::string& entry) {
  keepingText([&] { addItem(QString::fromStdString(entry)); });
}

void DropDown::keepingText(const std::function<void()>& change) {
  const QString text = currentText();
  const QSignalBlocker quiet(this);
  change();
  setCurrentIndex(-1);
  setEditText(text);
}

void DropDown::showPopup() {
  emit ListDropDown();
  QComboBox::showPopup();
}

void DropDown::focusInEvent(QFocusEvent* event) {
  QComboBox::focusInEvent(event);
  emit GotFocus();
}

void DropDown::focusOutEvent(QFocusEvent* event) {
  QComboBox::focusOutEvent(event);
  emit LostFocus();
}

}  // namespace varnkit::ui
