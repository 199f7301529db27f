#pragma once
// An editable drop-down list box whose change event fires for typing and for text set by code
// alike, with click, drop-down and focus events.

#include <QComboBox>
#include <functional>
#include <string>

namespace varnkit::ui {

class DropDown : public QComboBox {
  Q_OBJECT

 public:
  explicit DropDown(QWidget* parent = nullptr);

  // The text in the edit field. Setting it raises Change. User-interface thread.
  std::string Text() const;
  void setText(const std::string& text);
  // Entries: remove all, add at the end (unsorted). Neither touches the text or raises Change.
  void Clear();
  void AddItem(const std::string& entry);
  // The chosen entry, -1 for none.
  int ListIndex() const { return currentIndex(); }

 signals:
  void Change();        // the text changed, by typing or by code
  void Click();         // an entry was chosen from the list
  void ListDropDown();  // the list is about to open
  void GotFocus();
  void LostFocus();

 protected:
  void showPopup() override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void keepingText(const std::function<void()>& change);
};

}  // namespace varnkit::ui
