#pragma once
// Every message box of the program goes through here, so that tests can answer them.

#include <functional>
#include <string>

#include "kit/WindowLink.h"

class QWidget;

namespace varnkit::ui {

struct MessageBoxRequest {
  std::string prompt;
  int buttons;
  std::string title;
};

class MessageBoxService : public MessageBoxes {
 public:
  using Answerer = std::function<int(const MessageBoxRequest&)>;

  // Boxes are modal to parent. User-interface thread.
  explicit MessageBoxService(QWidget* parent = nullptr) : parent_(parent) {}

  // Shows a modal box (vbOKOnly or vbYesNo, optionally with vbQuestion or vbExclamation);
  // an empty title shows the program name. Returns vbOK, vbYes or vbNo.
  int MsgBox(const std::string& prompt, int buttons, const std::string& title) override;
  // Shows a box as MsgBox does (vbOKOnly) without waiting for it: the caller goes on at once,
  // and the box stays up until it is answered or withdrawn. An answerer answers it at once.
  void Notice(const std::string& prompt, int buttons, const std::string& title);
  // Closes every notice still up that shows prompt, as if answered. User-interface thread.
  static void withdraw(const std::string& prompt);

  // From now on the answerer answers every box of the process instead of the user (null: the
  // user again). For tests. User-interface thread.
  static void setAnswerer(Answerer answerer);

 private:
  QWidget* parent_;
};

// The program's name, the title of a box that names none.
inline constexpr const char* kProgramName = "VarnKit";

}  // namespace varnkit::ui
