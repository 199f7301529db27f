#include "kitload/EngineKit.h"

#include "import/KitImport.h"
#include "import/Plan.h"
#include "kit/Drumkit.h"
#include "kit/KitState.h"
#include "kit/Layer.h"
#include "platform/Error.h"
#include "platform/audio/SampleFile.h"
#include "platform/files/Lookup.h"

namespace varnkit::kitload {
namespace {

namespace fs = std::filesystem;

struct PadSource {
  std::string name;
  int32_t rootKey = -1, group = 0;
  struct LayerSource {
    int32_t velStart = 0, velEnd = 127;
    std::string file;
  };
  std::vector<LayerSource> layers;
};

// The pads of a VarnKit kit file, read by the kit model itself, so every rule of the file
// holds as in the program; its sample folder is taken relative to the file's own folder.
std::optional<std::array<PadSource, 9>> readKitFile(const fs::path& file,
                                                    std::vector<std::string>& notes,
                                                    std::string& error) {
  Headless window("");
  KitState state(window.link(), file.parent_path().string());
  try {
    state.kit().ReadKit(file.string());
  } catch (const Error& e) {
    error = e.text();
    return std::nullopt;
  }
  notes = window.told;
  std::array<PadSource, 9> pads;
  for (int16_t i = 0; i < 9; ++i) {
    preset& pad = state.kit().Instrument(i);
    pads[std::size_t(i)].name = pad.PAD();
    pads[std::size_t(i)].rootKey = pad.RootKey;
    pads[std::size_t(i)].group = pad.Grp();
    for (const auto& entry : pad.layers()) {
      const Layer& layer = *entry.item;
      pads[std::size_t(i)].layers.push_back(
          {layer.VelStart, layer.velEnd(), layer.path + "/" + layer.filename});
    }
  }
  return pads;
}

// The highest velocity a layer answers: one below the next higher layer of its pad, as in
// the kit model.
int32_t velEndOf(const std::vector<import::PlannedLayer>& layers, int32_t velStart) {
  int32_t end = 127;
  for (const auto& other : layers)
    if (other.velStart > velStart && other.velStart <= end) end = other.velStart - 1;
  return end;
}

// The pads the importer would give a Hydrogen kit or an SFZ file; nothing is written but what
// an archive unpacks into scratch.
std::optional<std::array<PadSource, 9>> readForeignKit(const fs::path& file,
                                                       const fs::path& scratch,
                                                       std::vector<std::string>& notes,
                                                       std::string& error) {
  const import::ReadResult read = import::ReadSourceKit(file, scratch);
  if (!read.kit) {
    error = read.error;
    return std::nullopt;
  }
  const import::ImportPlan plan = import::PlanImport(*read.kit);
  notes = plan.leftOut;
  std::array<PadSource, 9> pads;
  for (std::size_t i = 0; i < pads.size(); ++i) {
    if (!plan.pads[i]) continue;
    const import::PlannedPad& planned = *plan.pads[i];
    pads[i].name = planned.name;
    pads[i].rootKey = planned.rootKey;
    pads[i].group = planned.group;
    for (const auto& layer : planned.layers)
      pads[i].layers.push_back(
          {layer.velStart, velEndOf(planned.layers, layer.velStart), layer.source.string()});
  }
  return pads;
}

bool isKitFile(const fs::path& file) {
  return files::LowerEnding(file.string()) == ".txt";
}

}  // namespace

KitLoad LoadEngineKit(const fs::path& file, uint32_t sampleRate) {
  KitLoad load;
  std::vector<std::string> notes;
  const import::ScratchFolder scratch;
  const auto pads = isKitFile(file)
                        ? readKitFile(file, notes, load.error)
                        : readForeignKit(file, scratch.path() / "source", notes, load.error);
  if (!pads) return load;
  // A foreign kit's headers bound nothing: what it decodes to is counted as it is decoded.
  audio::DecodeBudget budget{import::kMostKitSamples, false};
  EngineKit kit;
  kit.description = std::make_unique<engine::KitDescription>();
  kit.notes = std::move(notes);
  for (std::size_t i = 0; i < pads->size(); ++i) {
    const PadSource& source = (*pads)[i];
    kit.padNames[i] = source.name;
    engine::KitPad& pad = kit.description->pads.emplace_back();
    pad.rootKey = source.rootKey;
    pad.group = source.group;
    for (const auto& layer : source.layers) {
      auto decoded = audio::decodeSampleFile(layer.file, sampleRate, &budget);
      // One broken sample must not silence the kit: its layer is left out, and said so.
      if (!decoded.ok()) {
        kit.notes.push_back("The sample " + layer.file +
                            " could not be read: " + decoded.failure().text);
        continue;
      }
      kit.voices.push_back(std::make_unique<engine::Voice>(std::move(decoded.value().data)));
      pad.layers.push_back({kit.voices.back().get(), layer.velStart, layer.velEnd});
    }
  }
  load.kit = std::move(kit);
  return load;
}

}  // namespace varnkit::kitload
