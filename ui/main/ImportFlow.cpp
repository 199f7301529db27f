#include "ui/main/ImportFlow.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace varnkit::ui {

using import::ImportOutcome;
using import::ImportRequest;
using import::ImportStep;

namespace {

// What the import's thread and the window share.
struct Shared {
  std::mutex lock;
  std::condition_variable changed;
  bool cancelled = false;      // Cancel, or the window stopped waiting
  std::optional<bool> answer;  // to the question asked last
  ImportOutcome outcome;

  bool isCancelled() {
    std::lock_guard hold(lock);
    return cancelled;
  }
  void cancel() {
    std::lock_guard hold(lock);
    cancelled = true;
    changed.notify_all();
  }
};

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

// A progress box that stays up until the import has ended: Escape and closing its window
// ask to cancel, as its Cancel button does, instead of hiding it.
class ProgressBox final : public QProgressDialog {
 public:
  using QProgressDialog::QProgressDialog;
  void reject() override { emit canceled(); }
};

// The window's part: shows the import's steps, asks its question and ends the wait. Its
// slots run on the user-interface thread; calls the import's thread posts to it are dropped
// once it is gone.
class Window : public QObject {
 public:
  Window(QWidget* parent, MessageBoxes& boxes, std::shared_ptr<Shared> shared)
      : box_(text("Reading the kit"), text("Cancel"), 0, 0, parent),
        boxes_(boxes),
        shared_(std::move(shared)) {
    box_.setWindowTitle(text("Import kit"));
    box_.setWindowModality(Qt::ApplicationModal);
    box_.setAutoClose(false);
    box_.setAutoReset(false);
    box_.setMinimumDuration(0);
    // Cancel waits for the import to stop instead of hiding the box at once.
    QObject::disconnect(&box_, &QProgressDialog::canceled, &box_, &QProgressDialog::cancel);
    QObject::connect(&box_, &QProgressDialog::canceled, this, [this] {
      if (saving_) return;
      shared_->cancel();
      box_.setLabelText(text("Cancelling..."));
    });
  }

  // Shows the box and waits, answering the window meanwhile, until finished().
  void wait() {
    box_.show();
    loop_.exec();
  }
  void step(const ImportStep& step) {
    if (shared_->isCancelled()) return;
    saving_ = step.saving;
    if (saving_) box_.setCancelButtonText(QString());  // nothing stops a save once begun
    box_.setLabelText(text(step.what));
    box_.setMaximum(step.total);
    box_.setValue(step.done);
  }
  void ask(const std::string& kitName) {
    if (shared_->isCancelled()) return;  // the import no longer waits for the answer
    const bool yes =
        boxes_.MsgBox("This will destroy your existing '" + kitName + "' Drumkit! Are you sure?",
                      vbYesNo | vbQuestion, "Question") == vbYes;
    std::lock_guard hold(shared_->lock);
    shared_->answer = yes;
    shared_->changed.notify_all();
  }
  void finished() { loop_.quit(); }

 private:
  ProgressBox box_;
  QEventLoop loop_;
  MessageBoxes& boxes_;
  std::shared_ptr<Shared> shared_;
  bool saving_ = false;
};

// The import's thread: reports each step to the window, and waits for the window's answer
// to the question; cancelled before the answer, it takes No.
void Run(const ImportRequest& request, Window* window, std::shared_ptr<Shared> shared) {
  auto post = [window](auto call) {
    QMetaObject::invokeMethod(window, call, Qt::QueuedConnection);
  };
  auto mayReplace = [&](const std::string& kitName) {
    {
      std::lock_guard hold(shared->lock);
      shared->answer.reset();
    }
    post([window, kitName] { window->ask(kitName); });
    std::unique_lock hold(shared->lock);
    shared->changed.wait(hold, [&] { return shared->answer || shared->cancelled; });
    return shared->answer.value_or(false);  // a Cancel meanwhile stops it at the next step
  };
  ImportStep shown;  // unpacking asks again and again with the same step
  auto progress = [&](const ImportStep& step) {
    if (step.what != shown.what || step.done != shown.done || step.saving != shown.saving)
      post([window, step] { window->step(step); });
    shown = step;
    return !shared->isCancelled();
  };
  ImportOutcome outcome = import::ImportKit(request, mayReplace, progress);
  {
    std::lock_guard hold(shared->lock);
    shared->outcome = std::move(outcome);
  }
  post([window] { window->finished(); });
}

}  // namespace

ImportOutcome ImportWithProgress(QWidget* parent, MessageBoxes& boxes,
                                 const ImportRequest& request) {
  auto shared = std::make_shared<Shared>();
  Window window(parent, boxes, shared);
  std::thread worker(Run, request, &window, shared);
  window.wait();
  const bool cancelled = shared->isCancelled();
  // Ended early (the program is quitting): the import stops at its next step.
  shared->cancel();
  worker.join();
  std::lock_guard hold(shared->lock);
  ImportOutcome outcome = shared->outcome;
  // A kit refused while Cancel was on its way was not wanted either: nothing more to say.
  if (!outcome.ok && cancelled) outcome.cancelled = true;
  return outcome;
}

}  // namespace varnkit::ui
