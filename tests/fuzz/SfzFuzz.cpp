// libFuzzer entry: any bytes as an SFZ file must read into a sound kit or fail with a
// sentence. The bytes are split at zero bytes into the file and the files "1.sfz", "2.sfz"...
// it may #include, so that includes, their loops and their depth are fuzzed as well.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "import/Paths.h"
#include "import/Sfz.h"

namespace {

namespace fs = std::filesystem;
using varnkit::import::IncludedText;
using varnkit::import::SourceKit;

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

std::vector<std::string_view> split(std::string_view all) {
  std::vector<std::string_view> parts;
  for (std::size_t zero; (zero = all.find('\0')) != std::string_view::npos;) {
    parts.push_back(all.substr(0, zero));
    all.remove_prefix(zero + 1);
  }
  parts.push_back(all);
  return parts;
}

// What a reader promises the importer about every kit it returns.
void checkKit(const SourceKit& kit) {
  if (kit.instruments.empty()) fail("a kit without instruments", kit.name);
  for (const auto& in : kit.instruments) {
    if (in.layers.empty()) fail("an instrument without layers", in.name);
    if (!in.note || *in.note < 0 || *in.note > 127) fail("a note out of range", in.name);
    for (const auto& layer : in.layers) {
      if (layer.velLow < 0 || layer.velLow > layer.velHigh || layer.velHigh > 127)
        fail("a layer's velocities out of order", in.name);
      if (!layer.sample.is_absolute() || !varnkit::import::IsInside(kit.folder, layer.sample))
        fail("a sample outside the kit's folder", layer.sample.string());
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> files =
      split(std::string_view(reinterpret_cast<const char*>(data), size));
  const auto load = [&files](const fs::path& file) -> IncludedText {
    const std::string stem = file.stem().string();
    if (file.parent_path() != "/fuzz" || file.extension() != ".sfz" || stem.empty() ||
        stem.size() > 3 || stem.find_first_not_of("0123456789") != std::string::npos)
      return {std::nullopt, "no such file"};
    const std::size_t index = std::stoul(stem);
    if (index == 0 || index >= files.size()) return {std::nullopt, "no such file"};
    return {std::string(files[index]), ""};
  };
  const varnkit::import::ReadResult read =
      varnkit::import::ParseSfz(files[0], "/fuzz/kit.sfz", load);
  if (read.kit)
    checkKit(*read.kit);
  else if (read.error.empty())
    fail("no kit and no reason", "");
  return 0;
}
