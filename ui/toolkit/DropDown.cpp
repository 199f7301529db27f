#include "ui/toolkit/DropDown.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

#include "ui/toolkit/ShownText.h"

namespace varnkit::ui {

DropDown::DropDown(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);  // typing names the kit; it adds no entry
  setCompleter(nullptr);                 // "roc" must stay "roc", not become "rock"
  // Typing and code raise Change; choosing an entry from the list raises only Click, as the
  // kit list needs: the chosen kit must not rename the kit still in memory before it is saved.
  connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& typed) {
    text_ = typed.toStdString();
    emit Change();
  });
  connect(this, &QComboBox::activated, this, [this] { activatedEntry(); });
  // Whatever moved the current entry, the field goes on showing the box's own text.
  connect(this, &QComboBox::currentIndexChanged, this, [this] {
    if (!picking_) showOwnText();
  });
  // The edit field takes the focus for the box; report it as the box's own.
  lineEdit()->installEventFilter(this);
  // A release over an entry, or Enter in the list, is what picks; see activatedEntry.
  view()->installEventFilter(this);
  view()->viewport()->installEventFilter(this);
}

std::string DropDown::Text() const {
  return text_;
}

void DropDown::setText(const std::string& text) {
  text_ = text;
  showOwnText();
  emit Change();  // also when the text stays the same, as typing the same text over would
}

void DropDown::Clear() {
  keepingText([this] { clear(); });
}

void DropDown::AddItem(const std::string& entry) {
  keepingText([&] { addItem(shownText(entry), QByteArray::fromStdString(entry)); });
}

void DropDown::keepingText(const std::function<void()>& change) {
  const QSignalBlocker quiet(this);
  change();
  setCurrentIndex(-1);
  showOwnText();
}

void DropDown::showOwnText() {
  const QString shown = shownText(text_);
  if (lineEdit()->text() == shown) return;
  const QSignalBlocker quiet(lineEdit());
  lineEdit()->setText(shown);
}

void DropDown::activatedEntry() {
  if (!picking_) {
    showOwnText();  // Enter, focus loss or a matching text: not a choice of the user's
    return;
  }
  picking_ = false;
  text_ = currentData().toByteArray().toStdString();
  emit Click();
}

bool DropDown::eventFilter(QObject* watched, QEvent* event) {
  const bool inList = watched == view() || watched == view()->viewport();
  if (inList && view()->isVisible()) {
    const bool release = event->type() == QEvent::MouseButtonRelease;
    const auto* key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
    if (release || (key && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter))) {
      // The list picks on this event, or not at all; either way the pick ends with it.
      picking_ = true;
      QTimer::singleShot(0, this, [this] { picking_ = false; });
    }
  }
  return QComboBox::eventFilter(watched, event);
}

void DropDown::keyPressEvent(QKeyEvent* event) {
  const bool alt = event->modifiers() & Qt::AltModifier;
  switch (event->key()) {
    case Qt::Key_Escape:
      emit Escape();
      return;
    case Qt::Key_Up:
    case Qt::Key_Down:
      if (alt) break;  // Alt with an arrow opens and closes the list
      [[fallthrough]];
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      event->ignore();  // stepping through the entries would load kits one after another
      return;
    default:
      break;
  }
  QComboBox::keyPressEvent(event);
}

void DropDown::wheelEvent(QWheelEvent* event) {
  event->ignore();  // the wheel would step through the entries, too
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
