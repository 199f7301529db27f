#include "ui/toolkit/MessageBoxService.h"

#include <QMessageBox>

namespace varnkit::ui {
namespace {

MessageBoxService::Answerer& answerer() {
  static MessageBoxService::Answerer a;
  return a;
}

QMessageBox::Icon iconOf(int buttons) {
  if ((buttons & 0x70) == vbQuestion) return QMessageBox::Question;
  if ((buttons & 0x70) == vbExclamation) return QMessageBox::Warning;
  if ((buttons & 0x70) == 16) return QMessageBox::Critical;
  if ((buttons & 0x70) == 64) return QMessageBox::Information;
  return QMessageBox::NoIcon;
}

}  // namespace

void MessageBoxService::setAnswerer(Answerer a) {
  answerer() = std::move(a);
}

int MessageBoxService::MsgBox(const std::string& prompt, int buttons, const std::string& title) {
  const MessageBoxRequest request{prompt, buttons, title.empty() ? kProgramName : title};
  if (answerer()) return answerer()(request);
  const bool yesNo = (buttons & 7) == vbYesNo;
  QMessageBox box(iconOf(buttons), QString::fromStdString(request.title),
                  QString::fromStdString(prompt),
                  yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok, parent_);
  const int answer = box.exec();
  if (!yesNo) return vbOK;
  return answer == QMessageBox::Yes ? vbYes : vbNo;
}

}  // namespace varnkit::ui
