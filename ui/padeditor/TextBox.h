#pragma once
// A one-line text box whose change event fires for typing and for text set by code alike,
// with focus events and a background colour.

#include <QColor>
#include <QLineEdit>
#include <string>

namespace varnkit::ui {

class TextBox : public QLineEdit {
  Q_OBJECT

 public:
  // An empty box. User-interface thread.
  explicit TextBox(QWidget* parent = nullptr);

  // The text as it stands.
  std::string Text() const { return text().toStdString(); }
  // Sets the text and raises Change, also when the text stays the same. User-interface thread.
  void setText(const std::string& text);
  // The background colour behind the text.
  QColor BackColor() const { return palette().color(QPalette::Base); }
  void setBackColor(const QColor& colour);

 signals:
  void Change();
  void GotFocus();
  void LostFocus();

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  bool clickedIn_ = false;  // the focus came with the mouse press that is on its way
};

}  // namespace varnkit::ui
