#pragma once
// The kit being played and edited: a name and nine pads, numbered 0 to 8.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kit/FieldReader.h"
#include "kit/Preset.h"

namespace varnkit {

class KitState;

// All members: user-interface thread.
class Drumkit {
 public:
  // Root keys of the default pads 0 to 8: General MIDI percussion notes, in this order.
  static constexpr std::array<int32_t, 9> kDefaultRootKeys{36, 38, 42, 46, 50, 47, 43, 63, 64};

  // A kit of the nine default pads.
  explicit Drumkit(KitState& state);
  Drumkit(const Drumkit&) = delete;
  Drumkit& operator=(const Drumkit&) = delete;

  std::string Kitname;
  std::string Samples;  // folder of the loaded kit's samples
  std::string CopyRyt;  // fourth header field of the loaded kit file

  // The pad with number Index, 0 to 8; any other number raises Error 9.
  preset& Instrument(int16_t Index);
  // Silences every pad and resets all nine to the default pads; the name is kept.
  void Clear();
  // Writes the kit file <app>/<Kitname>.txt and copies every sample into the kit folder
  // <app>/<Kitname>, asking first before an existing kit is replaced: the kit file named so in
  // any letter case, which is the one file replaced. All or nothing: the old kit file and its
  // samples stay whole until the new ones are complete. Names the file cannot carry are
  // refused with a message.
  void SaveKit();
  // Offers to save unsaved changes (OfferToSave), then fills the kit from File (ReadKit).
  // False when the user wanted the changes saved and they were not: nothing was loaded.
  [[nodiscard]] bool LoadKit(const std::string& File);
  // Asks "save changes?" when the kit has unsaved changes and saves on Yes. False when the
  // answer was Yes and the kit is still unsaved (name refused, replacing declined). Raises the
  // save's errors; the kit in memory is untouched either way.
  [[nodiscard]] bool OfferToSave();
  // Resets the kit and fills it from the kit file File. Raises the file's errors. Records that
  // do not fit (a pad outside 1 to 9, a root key that cannot be claimed) are made to fit and
  // told of in one message after the load.
  void ReadKit(const std::string& File);
  // Reads one record of comma-terminated fields from text file number File into fields.
  void MInput(int32_t File, std::span<const FieldRef> fields);

 private:
  struct Record;
  struct LoadNotes;

  preset& slot(int i);
  std::string saveProblem();
  void saveInto(const std::string& folder, const std::string& replacedFile);
  void writeKitFile(const std::string& temp);
  void applyRecord(const Record& r, LoadNotes& changes);
  int32_t claimRootKey(int32_t key, int32_t pad);

  KitState& state_;
  std::array<std::unique_ptr<preset>, 9> pads_;
};

}  // namespace varnkit
