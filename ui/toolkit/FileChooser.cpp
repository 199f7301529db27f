#include "ui/toolkit/FileChooser.h"

#include <QFileDialog>

namespace varnkit::ui {
namespace {

FileChooser::Answerer& answerer() {
  static FileChooser::Answerer a;
  return a;
}

}  // namespace

std::string FileChooser::ChooseFile(QWidget* parent, const FileChoiceRequest& request) {
  if (answerer()) return answerer()(request);
  // File names are bytes here; the dialog's text goes back to them through the locale's
  // encoding, as QFile would.
  const QString chosen =
      QFileDialog::getOpenFileName(parent, QString::fromStdString(request.title), QString(),
                                   QString::fromStdString(request.filter));
  return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen).toStdString();
}

void FileChooser::setAnswerer(Answerer a) {
  answerer() = std::move(a);
}

}  // namespace varnkit::ui
