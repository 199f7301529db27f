#include "midi/PropPages.h"

#include <QDialog>

#include "midi/DialogUnits.h"

namespace varnkit::midictl {

QDialog* NewPropertyPage(const PageLayout& layout, QWidget* frame) {
  auto* page = new QDialog(frame, frame ? Qt::Widget : Qt::Dialog);
  page->setWindowTitle(QString::fromLatin1(kPageCaption));
  page->setFont(dialogFont());
  page->setFixedSize(dialogSize(layout.width, layout.height));
  return page;
}

}  // namespace varnkit::midictl
