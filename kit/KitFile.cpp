#include <stdio.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <utility>

#include "kit/Drumkit.h"
#include "platform/Error.h"
#include "kit/KitState.h"
#include "platform/files/FileOps.h"
#include "platform/files/FolderUpdate.h"
#include "platform/files/Lookup.h"
#include "platform/files/TextFiles.h"

namespace varnkit {
namespace {

namespace fs = std::filesystem;

// Every kit file goes through this one file number, one file at a time.
constexpr int32_t kFileNumber = 1;
constexpr char CR = '\r';
constexpr char TAB = '\t';

// Closes the file number, once opened, on every way out; a failure that already ends the
// operation says more than one of closing would.
struct OpenFile {
  ~OpenFile() {
    if (!files::IsOpen(kFileNumber)) return;
    try {
      files::CloseFile(kFileNumber);
    } catch (const Error&) {
    }
  }
};

// A folder field of a kit file names a folder of its own when it is absolute, here or as
// written on a system with drive letters; otherwise it lies below the program folder.
bool isAbsoluteFolder(const std::string& folder) {
  return (!folder.empty() && folder[0] == '/') ||
         (folder.size() >= 3 && folder.compare(1, 2, ":\\") == 0);
}

// A sample named by a kit file must stay inside its kit folder.
bool isPlainFileName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

bool cannotBeCarried(const std::string& text) {
  return text.find_first_of(",\t\r\n") != std::string::npos;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string uncarriable(const std::string& what, const std::string& name) {
  return "The " + what + " '" + name +
         "' cannot be saved: names in a kit file cannot hold a comma, a tab or a line break.";
}

std::string kitNameProblem(const std::string& name) {
  if (trimmed(name).empty()) return "The kit needs a name before it can be saved.";
  if (cannotBeCarried(name)) return uncarriable("kit name", name);
  if (name.find('/') != std::string::npos || name == "." || name == "..")
    return "The kit name '" + name + "' cannot be saved: a kit name cannot be a folder path.";
  if (name.front() == '.')
    return "The kit name '" + name +
           "' cannot be saved: a name that starts with a dot would hide the kit's file.";
  return "";
}

bool sameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

std::string recordLine(const preset& pad, const Layer& layer) {
  return std::to_string(pad.Index + 1) + ",0,0," + TAB + std::to_string(pad.RootKey) + "," +
         pad.PAD() + "," + TAB + layer.filename + "," + std::to_string(layer.VelStart) + "," +
         std::to_string(layer.velEnd()) + ",0,0,0,0," + std::to_string(pad.Grp()) + "," +
         std::to_string(pad.Voices) + "," + CR;
}

// Stages a layer's sample for the kit folder. A sample that is gone, or that already is the
// copy, is no failure; any other failure would leave the saved kit without its sample.
void stageSample(const Layer& layer, const std::string& folder, files::FolderUpdate& samples) {
  const std::string source = layer.path + "/" + layer.filename;
  std::error_code ec;
  if (samples.staged(layer.filename) || !fs::exists(source, ec) ||
      sameFile(source, folder + "/" + layer.filename))
    return;
  if (const files::Status copied = samples.stage(source, layer.filename); !copied.ok)
    throw Error(Error::kPathFileAccess, "The sample '" + layer.filename +
                                            "' could not be copied into the kit folder, so " +
                                            "the kit was not saved: " + copied.error);
}

// The kit a kit file holds, as the kit list names it: its name without ".txt".
std::string kitNameOf(const std::string& fileName) {
  return fileName.substr(0, fileName.size() - 4);
}

}  // namespace

struct Drumkit::LoadNotes {
  std::vector<std::string> lines;
  std::array<bool, 9> bentPads{};
};

struct Drumkit::Record {
  int32_t pad = 0, offset = 0, lenght = 0, rootKey = 0;
  std::string name, filename;
  int32_t velStart = 0, velEnd = 0, keyStart = 0, keyEnd = 0;
  double volLeft = 0, volRight = 0;
  int32_t grp = 0, voices = 0;

  std::array<FieldRef, 14> fields() {
    return {&pad,    &offset,   &lenght, &rootKey, &name,     &filename, &velStart,
            &velEnd, &keyStart, &keyEnd, &volLeft, &volRight, &grp,      &voices};
  }
};

void Drumkit::MInput(int32_t File, std::span<const FieldRef> fields) {
  ReadCommaFields(File, fields);
}

void Drumkit::SaveKit() {
  if (state_.KitNameText().empty()) return;
  if (const std::string problem = saveProblem(); !problem.empty()) {
    state_.MsgBox(problem, vbOKOnly | vbExclamation, "VarnKit");
    return;
  }
  // ROCK.TXT is the kit ROCK, and Rock too to anyone who lists or loads it: a save of Rock
  // replaces that one file, the exact spelling first, and no other.
  const std::string existing = files::FileIgnoringCase(state_.appFolder(), Kitname + ".txt");
  if (!existing.empty() && state_.MsgBox("This will destroy your existing '" + kitNameOf(existing) +
                                             "' Drumkit! Are you sure?",
                                         vbYesNo | vbQuestion, "Question") == vbNo)
    return;
  const std::string folder = state_.appFolder() + "/" + Kitname;
  const bool madeFolder = files::MakeFolder(folder).ok;  // it may well exist already
  try {
    saveInto(folder, existing.empty() ? Kitname + ".txt" : existing);
  } catch (...) {
    std::error_code ec;
    if (madeFolder) fs::remove(folder, ec);  // empty again: a failed save makes nothing
    throw;
  }
  for (int16_t i = 0; i < 9; ++i)
    for (const auto& entry : Instrument(i).layers()) entry.item->path = folder;
  state_.kitChanged = false;
}

// The old kit file and every old sample stay whole until all of the new kit is on the disk:
// the samples are staged beside the kit folder's files and the kit file beside the old one,
// and only then are both put in place, the samples first.
void Drumkit::saveInto(const std::string& folder, const std::string& replacedFile) {
  files::FolderUpdate samples(folder);
  for (int16_t i = 0; i < 9; ++i)
    for (const auto& entry : Instrument(i).layers()) stageSample(*entry.item, folder, samples);
  const std::string file = state_.appFolder() + "/" + Kitname + ".txt";
  const std::string temp = file + ".saving";
  try {
    writeKitFile(temp);
    if (files::Status flushed = files::FlushFile(temp); !flushed.ok)
      throw Error(Error::kPathFileAccess, "The kit file could not be saved: " + flushed.error);
    if (files::Status placed = samples.commit(); !placed.ok)
      throw Error(Error::kPathFileAccess, "The kit could not be saved: " + placed.error);
    const std::string target = state_.appFolder() + "/" + replacedFile;
    if (files::Status done = files::CommitFile(temp, target); !done.ok) {
      samples.rollBack();
      throw Error(Error::kPathFileAccess, "The kit file could not be saved: " + done.error);
    }
    // ROCK.TXT, replaced, takes the name the kit was saved under; kept as it is when it cannot.
    if (target != file) (void)::rename(target.c_str(), file.c_str());
    samples.finish();
  } catch (...) {
    std::error_code ec;
    fs::remove(temp, ec);  // the old kit file is untouched
    throw;
  }
}

// Why the kit cannot be written as it stands, or "" when it can.
std::string Drumkit::saveProblem() {
  if (std::string problem = kitNameProblem(Kitname); !problem.empty()) return problem;
  std::map<std::string, std::string> sources;  // sample file name -> the file it copies
  for (int16_t i = 0; i < 9; ++i) {
    preset& pad = Instrument(i);
    if (pad.Count() > 0 && cannotBeCarried(pad.PAD())) return uncarriable("pad name", pad.PAD());
    if (pad.Count() > 0 && (pad.RootKey < 0 || pad.RootKey > 127))
      return "Pad " + std::to_string(i + 1) + " (" + pad.PAD() + ") has the root key " +
             std::to_string(pad.RootKey) + "; root keys are the notes 0 to 127.";
    for (const auto& entry : pad.layers()) {
      const Layer& layer = *entry.item;
      if (cannotBeCarried(layer.filename)) return uncarriable("sample file name", layer.filename);
      if (!isPlainFileName(layer.filename))
        return "The sample file name '" + layer.filename + "' cannot be saved.";
      const std::string source = layer.path + "/" + layer.filename;
      auto [known, added] = sources.emplace(layer.filename, source);
      if (!added && known->second != source && !sameFile(known->second, source))
        return "Two different samples are named '" + layer.filename + "' (in " +
               fs::path(known->second).parent_path().string() + " and " + layer.path +
               "), and the kit folder can hold only one of them. Rename one before saving.";
    }
  }
  return "";
}

void Drumkit::writeKitFile(const std::string& temp) {
  files::OpenTextFile(kFileNumber, temp, files::OpenMode::Output);
  OpenFile closer;
  for (const std::string& line :
       {std::string("vst samples,") + CR, Kitname + "," + CR, Kitname + "," + CR,
        std::string("VarnKit,") + CR, std::string(1, CR)})
    files::WriteLine(kFileNumber, line);
  for (int16_t i = 0; i < 9; ++i) {
    preset& pad = Instrument(i);
    for (const auto& entry : pad.layers())
      files::WriteLine(kFileNumber, recordLine(pad, *entry.item));
  }
  files::WriteLine(kFileNumber, "-1 by Ned's VarnKit");
  files::CloseFile(kFileNumber);
}

bool Drumkit::LoadKit(const std::string& File) {
  if (!OfferToSave()) return false;
  ReadKit(File);
  return true;
}

bool Drumkit::OfferToSave() {
  if (!state_.kitChanged || state_.MsgBox("save changes?", vbYesNo, "VarnKit") != vbYes)
    return true;
  SaveKit();
  // A Yes whose save did not happen must not cost the kit the user wanted kept.
  return !state_.kitChanged;
}

void Drumkit::ReadKit(const std::string& File) {
  Clear();
  files::OpenTextFile(kFileNumber, File, files::OpenMode::Input);
  OpenFile closer;
  std::string scratch;
  const FieldRef header[] = {&scratch, &scratch, &Samples, &CopyRyt};
  MInput(kFileNumber, header);
  if (!isAbsoluteFolder(Samples)) Samples = state_.appFolder() + "/" + Samples;
  Record r;
  const auto fields = r.fields();
  LoadNotes changes;
  for (;;) {
    try {
      MInput(kFileNumber, fields);
    } catch (const Error&) {
      // A field that does not convert: what the record did get is applied all the same.
    }
    if (files::AtEnd(kFileNumber)) break;
    applyRecord(r, changes);
    if (files::AtEnd(kFileNumber)) break;
  }
  files::CloseFile(kFileNumber);
  state_.kitChanged = false;
  if (changes.lines.empty()) return;
  std::string text = "The kit file '" + File + "' was loaded with these changes:";
  for (const std::string& change : changes.lines) text += "\n" + change;
  state_.MsgBox(text, vbOKOnly | vbExclamation, "VarnKit");
}

// A record that does not fit is made to fit, and changes says how: a pad number outside 1 to
// 9 is skipped, and a root key that cannot be claimed as written goes where it can.
void Drumkit::applyRecord(const Record& r, LoadNotes& changes) {
  const int32_t p = r.pad - 1;
  if (p < 0 || p > 8) {
    changes.lines.push_back("A record for pad " + std::to_string(r.pad) +
                            " was skipped: pads are numbered 1 to 9.");
    return;
  }
  preset& pad = Instrument(int16_t(p));
  pad.offset = r.offset;
  pad.lenght = r.lenght;
  pad.RootKey = claimRootKey(r.rootKey, p);
  // Moving up past a taken key is the rule of the format; anything else is worth a word.
  const bool bent = r.rootKey < 0 || r.rootKey > 127 || pad.RootKey < r.rootKey;
  if (bent && !std::exchange(changes.bentPads[std::size_t(p)], true))
    changes.lines.push_back("Pad " + std::to_string(r.pad) + " (" + r.name + ") has the root key " +
                            std::to_string(pad.RootKey) + " instead of " +
                            std::to_string(r.rootKey) + ".");
  pad.PAD(r.name);
  if (isPlainFileName(r.filename)) {
    // Kits copied from a system that ignores letter case name KICK.WAV for kick.wav.
    const std::string onDisk = files::FileIgnoringCase(Samples, r.filename);
    pad.add(r.velStart, r.volLeft, r.volRight, onDisk.empty() ? r.filename : onDisk, Samples);
  }
  pad.KeyStart = r.keyStart;
  pad.KeyEnd = r.keyEnd;
  pad.Grp(r.grp);
}

// Root keys stay distinct between the pads of a loaded kit: a key another pad took moves up
// to the next free one, or, when none is left above, down to the nearest free one below; a
// key outside the notes goes to the nearest end first. All records of one pad carry the same
// key, so its own claim stands.
int32_t Drumkit::claimRootKey(int32_t key, int32_t pad) {
  auto freeFor = [&](int32_t k) {
    const int8_t owner = state_.usedRootKeys[std::size_t(k)];
    return owner == KitState::kFreeKey || owner == pad;
  };
  const int32_t wanted = std::clamp(key, 0, 127);
  int32_t k = wanted;
  while (k <= 127 && !freeFor(k)) ++k;
  if (k > 127) {
    k = wanted;
    while (k >= 0 && !freeFor(k)) --k;  // nine pads never claim all 128 notes
  }
  state_.usedRootKeys[std::size_t(k)] = int8_t(pad);
  return k;
}

}  // namespace varnkit
