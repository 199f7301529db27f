// The kit-name box as kit list, choosing and saving kits, and closing the window.

#include <QApplication>
#include <QCloseEvent>
#include <algorithm>
#include <cctype>
#include <map>

#include "import/KitImport.h"
#include "kit/Drumkit.h"
#include "platform/Error.h"
#include "kit/Funk.h"
#include "platform/files/Lookup.h"
#include "platform/files/TextFiles.h"
#include "ui/main/Form1.h"
#include "ui/main/ImportFlow.h"
#include "ui/toolkit/FileChooser.h"

namespace varnkit::ui {
namespace {

constexpr int32_t kFileNumber = 1;

// ASCII letters lowered, as the file lookups ignore letter case.
std::string lowered(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return s;
}

std::string lowerTrimmed(std::string s) {
  s = lowered(std::move(s));
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

// The first field of a file, or "" when it cannot be read: a file that vanished or is locked
// since it was listed is simply not a kit.
std::string signatureOf(const std::string& file) {
  std::string field;
  try {
    files::OpenTextFile(kFileNumber, file, files::OpenMode::Input);
    const FieldRef fields[] = {&field};
    ReadFields(kFileNumber, fields);
    files::CloseFile(kFileNumber);
  } catch (const Error&) {
    if (files::IsOpen(kFileNumber)) files::CloseAllFiles();
    return "";
  }
  return field;
}

}  // namespace

// ROCK.TXT is the file of the kit ROCK as much as ROCK.txt would be.
bool Form1::kitFileExists(const std::string& name) const {
  return !files::FileIgnoringCase(appFolder_, name + ".txt").empty();
}

void Form1::Combo1_DropDown() {
  Combo1->Clear();
  // "*.txt" finds ROCK.TXT too. Names that differ only in letter case are one kit, listed
  // once under the first spelling, and it loads from the file a save of that name replaces.
  struct Listed {
    std::string name, file;
  };
  std::map<std::string, Listed, decltype(&files::ListOrder)> kits(&files::ListOrder);
  files::DirLookup found;
  for (std::string f = found.first(appFolder_ + "/*.txt"); !f.empty(); f = found.next()) {
    if (f.size() <= 4) continue;
    if (lowerTrimmed(signatureOf(appFolder_ + "/" + f)) != "vst samples") continue;
    const std::string name = f.substr(0, f.size() - 4);
    auto [at, added] = kits.emplace(lowered(name), Listed{name, f});
    if (!added && f == at->second.name + ".txt") at->second.file = f;
  }
  kitFiles_.clear();
  for (const auto& [key, kit] : kits) {
    Combo1->AddItem(kit.name);
    kitFiles_.push_back(kit.file);
  }
}

void Form1::Combo1_Click() {
  kitLoading = true;
  const int index = Combo1->ListIndex();
  if (index >= 0 && std::size_t(index) < kitFiles_.size())
    chooseKit(Combo1->Text(), kitFiles_[std::size_t(index)]);
  kitLoading = false;
}

// The kit in memory is given up only once it is saved or the user let it go; a kit that then
// fails to load is left without a name, so that no save can write it over a kit file.
void Form1::chooseKit(const std::string& name, const std::string& fileName) {
  if (letKitGo(name)) loadKitFile(name, fileName);
}

bool Form1::letKitGo(const std::string& next) {
  Drumkit& kit = state_->kit();
  try {
    if (kit.OfferToSave()) return true;
    Combo1->setText(kit.Kitname);
  } catch (const Error& e) {
    Combo1->setText(kit.Kitname);
    boxes_.MsgBox("The kit was not saved, so '" + next + "' was not loaded: " + e.text(),
                  vbOKOnly | vbExclamation, "");
  }
  return false;
}

void Form1::loadKitFile(const std::string& name, const std::string& fileName) {
  Drumkit& kit = state_->kit();
  const std::string file = appFolder_ + "/" + fileName;
  try {
    kit.ReadKit(file);
    kit.Kitname = name;
  } catch (const Error& e) {
    kit.Kitname.clear();
    Combo1->setText("");
    boxes_.MsgBox("The kit file '" + file + "' could not be loaded: " + e.text(),
                  vbOKOnly | vbExclamation, "");
  }
}

// Another sampler's kit becomes a kit of the list and, once the kit in use may go, the kit in
// use.
void Form1::importKit() {
  const std::string source = FileChooser::ChooseFile(
      this, {"Import kit", "Drum kits (*.sfz *.SFZ *.h2drumkit drumkit.xml);;All files (*)"});
  if (source.empty()) return;
  const import::ImportOutcome outcome = ImportWithProgress(this, boxes_, {source, appFolder_, ""});
  if (outcome.cancelled) return;  // as the user asked: nothing to say
  if (!outcome.ok) {
    boxes_.MsgBox("The kit was not imported: " + outcome.error, vbOKOnly | vbExclamation, "");
    return;
  }
  boxes_.MsgBox(outcome.summary, vbOKOnly, "Import kit");
  // A failed or refused import costs no question; a kit that stays is still listed.
  if (!letKitGo(outcome.kitName)) return;
  kitLoading = true;
  Combo1->setText(outcome.kitName);
  kitLoading = false;
  loadKitFile(outcome.kitName, outcome.kitName + ".txt");
  state_->kitChanged = false;
  focusPadSurface();
}

void Form1::Command1_Click() {
  if (!Combo1->Text().empty()) state_->kit().SaveKit();
}

bool Form1::Form_QueryUnload() {
  const std::string t = Combo1->Text();
  const bool ask = state_->kitChanged || (!t.empty() && !kitFileExists(t));
  if (ask && boxes_.MsgBox("save changes?", vbYesNo, "Save") == vbYes) {
    if (t.empty()) {
      boxes_.MsgBox(
          "The kit has no name, so it was not saved. Type a name in the Kit Name box, "
          "or close again and answer No.",
          vbOKOnly | vbExclamation, "");
      return false;
    }
    state_->kit().SaveKit();
    // A save that was refused or answered No must not lose the kit with the window.
    if (state_->kitChanged || !kitFileExists(t)) return false;
  }
  // Only now that the program really ends: a close held back keeps MIDI playing.
  if (midi_) midi_->InClose();
  closeEditor();
  return true;
}

void Form1::closeEvent(QCloseEvent* event) {
  bool end = true;
  try {
    end = Form_QueryUnload();
  } catch (const Error& e) {
    boxes_.MsgBox("The kit could not be saved: " + e.text(), vbOKOnly | vbExclamation, "");
    end = false;
  }
  if (!end) {
    event->ignore();
    return;
  }
  event->accept();
  QApplication::quit();
}

}  // namespace varnkit::ui
