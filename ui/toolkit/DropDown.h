#pragma once
// An editable drop-down list box whose change event fires for typing and for text set by code
// alike, with click, drop-down and focus events. Only a pick from the open list is a click:
// the toolkit's own habits of choosing an entry that matches the text (on Enter, on focus
// loss, with the arrow keys or the wheel) and of completing the text inline are switched off,
// so the text is only ever what was typed, set by code or picked.

#include <QComboBox>
#include <functional>
#include <string>

namespace varnkit::ui {

class DropDown : public QComboBox {
  Q_OBJECT

 public:
  explicit DropDown(QWidget* parent = nullptr);

  // The name in the edit field, as the bytes it was given or as typed (UTF-8). Setting it
  // raises Change. User-interface thread.
  std::string Text() const;
  void setText(const std::string& text);
  // Entries: remove all, add at the end (unsorted). Neither touches the text or raises Change.
  void Clear();
  void AddItem(const std::string& entry);
  // The chosen entry, -1 for none.
  int ListIndex() const { return currentIndex(); }
  // Rebuilds the list (ListDropDown) and opens it.
  void showPopup() override;

 signals:
  void Change();        // the text changed, by typing or by code
  void Click();         // an entry was picked from the open list
  void ListDropDown();  // the list is about to open
  void GotFocus();
  void LostFocus();
  void Escape();  // Escape in the edit field while the list is closed: editing is over

 protected:
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void keepingText(const std::function<void()>& change);
  void activatedEntry();
  void showOwnText();

  std::string text_;      // the name's bytes: typed, set by code or picked
  bool picking_ = false;  // a pick in the open list is under way
};

}  // namespace varnkit::ui
