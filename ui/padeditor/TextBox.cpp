#include "ui/padeditor/TextBox.h"

#include <QFocusEvent>

namespace varnkit::ui {

TextBox::TextBox(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::textChanged, this, [this] { emit Change(); });
}

void TextBox::setText(const std::string& text) {
  const QString now = QString::fromStdString(text);
  if (now == this->text()) {
    emit Change();
    return;
  }
  QLineEdit::setText(now);
}

void TextBox::setBackColor(const QColor& colour) {
  QPalette p = palette();
  p.setColor(QPalette::Base, colour);
  setPalette(p);
}

void TextBox::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  clickedIn_ = event->reason() == Qt::MouseFocusReason;
  emit GotFocus();
}

void TextBox::focusOutEvent(QFocusEvent* event) {
  QLineEdit::focusOutEvent(event);
  clickedIn_ = false;
  emit LostFocus();
}

void TextBox::mousePressEvent(QMouseEvent* event) {
  // The press that brings the focus would put the cursor where it landed and so undo the
  // selection GotFocus made; later presses place the cursor as usual.
  if (clickedIn_) {
    clickedIn_ = false;
    event->accept();
    return;
  }
  QLineEdit::mousePressEvent(event);
}

}  // namespace varnkit::ui
