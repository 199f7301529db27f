#pragma once
// Bringing another sampler's kit in as an ordinary VarnKit kit: a kit file and a folder of
// copied samples in a kit folder. Any one thread: the import has a kit model of its own.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "import/Plan.h"
#include "import/SourceKit.h"

namespace varnkit::import {

// The most sound one imported kit may decode to: 2 GiB of float samples, over an hour and a
// half of stereo sound. A drum kit of nine pads holds minutes of it; the window holds the
// whole kit in memory as it plays it, so a kit must fit beside the one in use on an ordinary
// machine, and a small archive that asks for tens of GiB must not make it swap.
inline constexpr uint64_t kMostKitSamples = uint64_t(1) << 29;

struct ImportRequest {
  std::filesystem::path source;  // drumkit.xml, its folder, an .h2drumkit archive, or an .sfz
  std::filesystem::path into;    // the kit folder
  std::string name;              // the kit's name; empty: the source's own
  uint64_t mostSamples = kMostKitSamples;  // samples decoded in all, every channel counted
};

struct ImportOutcome {
  bool ok = false;
  std::string kitName;     // as saved
  std::string summary;     // each pad and what was left out
  std::string error;       // why nothing was written, when not ok
  bool cancelled = false;  // not ok because the progress report stopped it
};

// Where an import stands, told as each step begins.
struct ImportStep {
  std::string what;         // for the user: "Decoding the samples", ...
  int done = 0, total = 0;  // samples decoded of all, while decoding; else both 0
  bool saving = false;      // the kit is being written: from here on nothing stops it
};

// Told of each step before it starts, on the import's thread; false stops the import there,
// and then nothing is written.
using ImportProgress = std::function<bool(const ImportStep& step)>;

// Whether the existing kit kitName may be replaced: the kit of the file the import would
// replace, named as that file is, which may differ from the import's name in letter case.
using ReplaceQuestion = std::function<bool(const std::string& kitName)>;

// A folder of its own under the system's temporary folder, removed with the object; empty
// when none could be made.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Whether source names an SFZ file, by its ending in any letter case.
bool IsSfz(const std::filesystem::path& source);

// Reads the kit at source: an .sfz file, or a Hydrogen drumkit.xml, its folder or an
// .h2drumkit archive, unpacked into scratch (goOn is asked meanwhile). Writes nothing else
// and never throws.
ReadResult ReadSourceKit(const std::filesystem::path& source, const std::filesystem::path& scratch,
                         const std::function<bool()>& goOn = {});

// Reads, plans, checks and decodes everything before the first byte goes into the kit folder,
// so a source that fails anywhere, or an import stopped by progress, leaves the folder as it
// was. mayReplace is asked on the import's thread.
ImportOutcome ImportKit(const ImportRequest& request, const ReplaceQuestion& mayReplace,
                        const ImportProgress& progress = {});

}  // namespace varnkit::import
