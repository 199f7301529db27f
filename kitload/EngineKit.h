#pragma once
// A kit read from its file and decoded for an engine, by a host with no window: the LV2
// plugin on its worker, the renderer on its main thread. A VarnKit kit file is read as the
// program reads it; a Hydrogen kit or an SFZ file goes through the importer's reading and
// planning, and nothing is written anywhere.

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Kit.h"
#include "engine/Voice.h"

namespace varnkit::kitload {

struct EngineKit {
  std::unique_ptr<engine::KitDescription> description;
  // The description's voices. A host hands each to its engine (Engine::release) once the
  // engine no longer plays this kit; until then the kit owns them.
  std::vector<std::unique_ptr<engine::Voice>> voices;
  std::array<std::string, 9> padNames;
  // What the load made fit, as the program tells it, and the samples that could not be read,
  // whose layers are left out.
  std::vector<std::string> notes;
};

struct KitLoad {
  std::optional<EngineKit> kit;
  std::string error;  // why there is no kit, in the program's words
};

// Reads and decodes the kit at file for an engine at sampleRate: a VarnKit kit file by its
// ending ".txt", in any letter case; anything else through the importer. Any thread but a
// render thread, several at once; never throws.
KitLoad LoadEngineKit(const std::filesystem::path& file, uint32_t sampleRate);

}  // namespace varnkit::kitload
