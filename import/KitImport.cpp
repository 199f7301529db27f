#include "import/KitImport.h"

#include <stdlib.h>

#include <memory>
#include <system_error>

#include "import/Hydrogen.h"
#include "import/Sfz.h"
#include "kit/Drumkit.h"
#include "kit/KitState.h"
#include "kit/Layer.h"
#include "kit/WindowLink.h"
#include "platform/Error.h"
#include "platform/audio/Device.h"
#include "platform/files/FileOps.h"
#include "platform/files/Lookup.h"

namespace varnkit::import {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCancelled = "The import was cancelled; nothing was written.";

// Tells progress of each step and asks whether to go on; a stopped import fails with
// kCancelled.
class Steps {
 public:
  explicit Steps(const ImportProgress& progress) : progress_(progress) {}

  // False once the import is to stop.
  bool next(const std::string& what, int done = 0, int total = 0, bool saving = false) {
    if (progress_ && !stopped_) stopped_ = !progress_({what, done, total, saving});
    return !stopped_;
  }
  bool stopped() const { return stopped_; }

 private:
  const ImportProgress& progress_;
  bool stopped_ = false;
};

int layerCount(const ImportPlan& plan) {
  int n = 0;
  for (const auto& pad : plan.pads)
    if (pad) n += int(pad->layers.size());
  return n;
}

std::string sizeOf(uint64_t samples) {
  const uint64_t bytes = samples * sizeof(float);
  if (bytes >= (1ull << 30) && bytes % (1ull << 30) == 0)
    return std::to_string(bytes >> 30) + " GiB";
  if (bytes >= (1ull << 20) && bytes % (1ull << 20) == 0)
    return std::to_string(bytes >> 20) + " MiB";
  return std::to_string(bytes) + " bytes";
}

// Names every sample under its kit-folder name in staging, by a link where the system allows
// one (the save makes the only copy), else by a copy; the failure, or "".
std::string stageSamples(const ImportPlan& plan, const fs::path& staging, Steps& steps) {
  std::error_code ec;
  fs::create_directories(staging, ec);
  if (ec) return "Cannot make the folder " + staging.string() + ": " + ec.message();
  for (const auto& pad : plan.pads) {
    if (!pad) continue;
    for (const PlannedLayer& layer : pad->layers) {
      if (!steps.next("Gathering the samples")) return kCancelled;
      const fs::path target = staging / layer.fileName;
      if (fs::exists(target, ec)) continue;  // one sample used by two layers
      fs::create_symlink(fs::absolute(layer.source), target, ec);
      if (!ec) continue;
      if (files::Status s = files::CopyFile(layer.source.string(), target.string()); !s.ok)
        return "The sample " + layer.source.string() + " cannot be copied: " + s.error;
    }
  }
  return "";
}

// Puts the plan's pads into state's kit, decoding every sample; the failure, or "".
std::string buildKit(const ImportPlan& plan, const fs::path& staging, KitState& state,
                     uint64_t mostSamples, Steps& steps) {
  Drumkit& kit = state.kit();
  const int total = layerCount(plan);
  int done = 0;
  for (int i = 0; i < 9; ++i) {
    if (!plan.pads[i]) continue;
    const PlannedPad& planned = *plan.pads[i];
    preset& pad = kit.Instrument(int16_t(i));
    pad.PAD(planned.name);
    pad.RootKey = planned.rootKey;
    pad.Grp(planned.group);
    for (const PlannedLayer& layer : planned.layers) {
      if (!steps.next("Decoding the samples", done++, total)) return kCancelled;
      const Layer* added = pad.add(layer.velStart, 0, 0, layer.fileName, staging.string());
      if (state.soundDevice()->decodingLimitPassed())
        return "The samples of the kit decode to more than " + sizeOf(mostSamples) +
               " of sound, the most one imported kit may hold; the sample " +
               layer.source.string() + " of '" + planned.sourceName + "' passes it.";
      if (added == nullptr || added->buffer() == nullptr)
        return "The sample " + layer.source.string() + " of '" + planned.sourceName +
               "' cannot be read as sound.";
    }
  }
  kit.Kitname = plan.kitName;
  return "";
}

ImportOutcome failed(std::string why) {
  ImportOutcome out;
  out.cancelled = why == kCancelled;
  out.error = std::move(why);
  return out;
}

}  // namespace

ScratchFolder::ScratchFolder() {
  std::string pattern = (fs::temp_directory_path() / "varnkit-import-XXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

bool IsSfz(const fs::path& source) {
  return files::LowerEnding(source.string()) == ".sfz";
}

ReadResult ReadSourceKit(const fs::path& source, const fs::path& scratch,
                         const std::function<bool()>& goOn) {
  std::error_code ec;
  if (!fs::exists(source, ec)) return {std::nullopt, "There is no " + source.string() + "."};
  if (IsSfz(source)) return ReadSfz(source);
  return ReadHydrogenKit(source, scratch, goOn);
}

ImportOutcome ImportKit(const ImportRequest& request, const ReplaceQuestion& mayReplace,
                        const ImportProgress& progress) {
  Steps steps(progress);
  if (!steps.next("Reading the kit")) return failed(kCancelled);
  ScratchFolder scratch;
  if (scratch.path().empty()) return failed("Cannot make a temporary folder to import into.");
  const ReadResult read = ReadSourceKit(request.source, scratch.path() / "source",
                                        [&steps] { return steps.next("Unpacking the kit"); });
  if (!read.kit) return failed(steps.stopped() ? kCancelled : read.error);
  ImportPlan plan = PlanImport(*read.kit, request.name);
  if (std::none_of(plan.pads.begin(), plan.pads.end(), [](const auto& p) { return p.has_value(); }))
    return failed("The kit " + request.source.string() + " has no instrument with a sample.");
  if (!steps.next("Choosing the pads")) return failed(kCancelled);
  std::error_code ec;
  fs::create_directories(request.into, ec);
  // ROCK.TXT is the kit a save of Rock replaces: the question names it by its own name.
  const std::string existing =
      files::FileIgnoringCase(request.into.string(), plan.kitName + ".txt");
  const bool replacing = !existing.empty();
  const std::string existingName = replacing ? existing.substr(0, existing.size() - 4) : "";
  if (replacing && !mayReplace(existingName))
    return failed("A kit named '" + existingName + "' is there already; it was left as it was.");
  const fs::path staging = scratch.path() / "samples";
  if (std::string why = stageSamples(plan, staging, steps); !why.empty()) return failed(why);

  Headless window(plan.kitName, replacing);  // the user's answer, and no other
  auto device = audio::Device::openOffline(44100);
  device->limitDecoding(request.mostSamples);
  KitState state(window.link(), request.into.string());
  state.setSoundDevice(device.get());
  try {
    if (std::string why = buildKit(plan, staging, state, request.mostSamples, steps); !why.empty())
      return failed(why);
    if (!steps.next("Saving the kit", 0, 0, true)) return failed(kCancelled);
    state.kit().SaveKit();
  } catch (const Error& e) {
    return failed(e.text());
  }
  if (!window.refused.empty())
    return failed("A kit named '" + plan.kitName +
                  "' came while importing; it was left as it was.");
  if (!window.told.empty()) return failed(window.told.front());
  ImportOutcome out;
  out.ok = true;
  out.kitName = plan.kitName;
  out.summary = Summary(plan);
  return out;
}

}  // namespace varnkit::import
