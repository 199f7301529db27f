#include "ui/toolkit/MessageBoxService.h"

#include <QMessageBox>
#include <QPointer>
#include <vector>

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

// The notices shown and not yet answered; a closed one deletes itself and reads null here.
std::vector<QPointer<QMessageBox>>& notices() {
  static std::vector<QPointer<QMessageBox>> open;
  return open;
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

void MessageBoxService::Notice(const std::string& prompt, int buttons, const std::string& title) {
  const MessageBoxRequest request{prompt, buttons, title.empty() ? kProgramName : title};
  if (answerer()) {
    answerer()(request);
    return;
  }
  auto* box = new QMessageBox(iconOf(buttons), QString::fromStdString(request.title),
                              QString::fromStdString(prompt), QMessageBox::Ok, parent_);
  box->setAttribute(Qt::WA_DeleteOnClose);
  std::erase_if(notices(), [](const QPointer<QMessageBox>& b) { return b.isNull(); });
  notices().emplace_back(box);
  box->open();  // modal to the window, yet returns at once
}

void MessageBoxService::withdraw(const std::string& prompt) {
  const QString text = QString::fromStdString(prompt);
  for (const QPointer<QMessageBox>& box : notices())
    if (!box.isNull() && box->text() == text) box->close();
}

}  // namespace varnkit::ui
