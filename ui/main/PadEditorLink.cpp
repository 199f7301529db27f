// The main window's ends of the pad editor: opening it on a pad, closing it with the window,
// and handing it a learned note.

#include "ui/main/Form1.h"
#include "ui/padeditor/Diag.h"

namespace varnkit::ui {

void Form1::editPad(int16_t pad) {
  if (!diag_) {
    diag_ = std::make_unique<Diag>(*state_, getRoot, this);
    // Notes that come while "learn" waits play nothing, from the first one on.
    diag_->onLearnChange([this] { publishKit(); });
  }
  diag_->showPad(pad);
}

void Form1::closeEditor() {
  if (!diag_) return;
  diag_->reject();  // its own close handling ends learning and stops the preview
  diag_.reset();
}

void Form1::learnedRootKey(int16_t note) {
  if (diag_) diag_->learned(note);
}

}  // namespace varnkit::ui
