#pragma once
// The pad editor: a modal dialog that sets the sample of one pad of the kit, previews sample files
// as they are selected, and edits or learns the pad's root key. Every change goes straight
// into the kit; "cancel" undoes nothing.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

class QGroupBox;
class QPushButton;

namespace varnkit {
class KitState;
class preset;
}  // namespace varnkit

namespace varnkit::ui {

class DirList;
class DriveList;
class FileList;
class TextBox;

class Diag : public QDialog {
  Q_OBJECT

 public:
  // state: the kit to edit; getRoot: the main window's learn flag, true while "learn" waits
  // for a note. User-interface thread.
  Diag(KitState& state, bool& getRoot, QWidget* parent = nullptr);

  // Runs right after "learn" is armed or disarmed, before any note can be taken.
  void onLearnChange(std::function<void()> changed) { learnChanged_ = std::move(changed); }

  // Fills the dialog for pad Index (0 to 8), shows it modally and returns when it has closed.
  // Another pad number raises varnkit::Error 9 before anything changes. User-interface thread.
  void showPad(int16_t Index);
  // Fills the dialog for pad Index as showPad does, without showing it. User-interface thread.
  void fill(int16_t Index);
  // A note learned from MIDI input becomes the pad's root key (through Root); "learn" is
  // enabled again and learning ends. User-interface thread.
  void learned(int note);

  int16_t curPad = 0;    // the pad being edited
  bool loading = false;  // the dialog is being filled: selecting a file plays nothing

  DriveList* const Drive1;
  DirList* const Dir1;
  FileList* const File1;
  QPushButton* const Command1;  // "ok"
  TextBox* const Root;          // the root key
  QPushButton* const Command2;  // "learn"
  QGroupBox* const Frame1;      // the heading of Root
  QPushButton* const Command3;  // "cancel"
  QPushButton* const Command4;  // "clear"
  QPushButton* const Command5;  // "stop"

 protected:
  // Every close passes here: "ok", a double click, "cancel", the close box, Escape.
  void done(int result) override;

 private:
  using Handler = void (Diag::*)();

  void layOut();
  void paintLists();
  void orderTabs();
  void connectHandlers();
  template <class Sender, class Signal>
  void route(Sender* sender, Signal signal, Handler handler);
  void guarded(Handler handler);
  void report(const std::string& text);
  void goToSamples(preset& pad);
  void selectFile(const std::string& name);
  void paintRoot();

  void Drive1_Change();
  void Dir1_Change();
  void File1_Click();
  void File1_DblClick();
  void Command1_Click();
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void Root_Change();
  void Root_GotFocus();
  void Root_LostFocus();
  void Form_QueryUnload();

  KitState& state_;
  bool& getRoot_;
  std::function<void()> learnChanged_;
  bool rootFocus_ = false;
  bool rootBad_ = false;  // Root holds no whole number: the pad kept its root key
};

}  // namespace varnkit::ui
