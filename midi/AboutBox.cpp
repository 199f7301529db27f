#include "midi/AboutBox.h"

#include <QDialog>
#include <QPushButton>

#include "midi/DialogUnits.h"

namespace varnkit::midictl {

void ShowAboutBox() {
  QDialog box;
  box.setWindowTitle(QStringLiteral("About Midi I/O Control"));
  box.setFont(dialogFont());
  box.setFixedSize(dialogSize(198, 63));
  box.move(dialogPoint(34, 22));
  auto* ok = new QPushButton(QStringLiteral("OK"), &box);
  ok->setGeometry(dialogRect(159, 7, 32, 14));
  ok->setDefault(true);
  QObject::connect(ok, &QPushButton::clicked, &box, &QDialog::accept);
  box.exec();
}

}  // namespace varnkit::midictl
