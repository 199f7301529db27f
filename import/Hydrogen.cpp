#include "import/Hydrogen.h"

#include <QByteArray>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <set>

#include "import/Archive.h"
#include "import/HydrogenXml.h"
#include "import/Paths.h"

namespace varnkit::import {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMaxXmlBytes = 64u << 20;

ReadResult Failure(std::string why) {
  return {std::nullopt, std::move(why)};
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// A file handed over as the kit itself: XML by its name or its first characters (past any
// byte-order mark).
bool LooksLikeXml(const fs::path& file) {
  if (file.extension() == ".xml") return true;
  std::ifstream in(file, std::ios::binary);
  char c = 0;
  for (int n = 0; n < 4096 && in.get(c); ++n)
    if (!std::isspace(static_cast<unsigned char>(c)) && (c & 0x80) == 0) return c == '<';
  return false;
}

// The drumkit.xml nearest the top of folder; the kit folder inside an archive holds it.
fs::path FindDrumkitXml(const fs::path& folder) {
  std::vector<fs::path> level{folder};
  for (int depth = 0; depth < 3 && !level.empty(); ++depth) {
    std::sort(level.begin(), level.end());
    std::vector<fs::path> next;
    std::error_code ec;
    for (const fs::path& dir : level) {
      if (fs::is_regular_file(dir / "drumkit.xml", ec)) return dir / "drumkit.xml";
      for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec) && !it->is_symlink(ec)) next.push_back(it->path());
    }
    level = std::move(next);
  }
  return {};
}

// Which component is kept: the first of the kit's list, or of the instrument when the kit
// has no list. An instrument without that component keeps its own first.
const hydrogen::Component* Kept(const hydrogen::Instrument& in, const hydrogen::Drumkit& kit) {
  if (in.components.empty()) return nullptr;
  if (!kit.componentIds.empty())
    for (const hydrogen::Component& c : in.components)
      if (c.id == kit.componentIds.front()) return &c;
  return &in.components.front();
}

// Adds what to list, once, keeping the order the instrument's own settings come in.
void AddLeftOut(std::vector<std::string>& list, const std::string& what) {
  static const std::vector<std::string> order{"pitch", "pan", "envelope", "filter", "gain"};
  if (std::find(list.begin(), list.end(), what) != list.end()) return;
  list.push_back(what);
  const auto rank = [](const std::string& s) { return std::find(order.begin(), order.end(), s); };
  std::stable_sort(list.begin(), list.end(),
                   [&](const std::string& a, const std::string& b) { return rank(a) < rank(b); });
}

int Velocity(double fraction) {
  return int(std::lround(std::clamp(fraction, 0.0, 1.0) * 127));
}

// The layers of the kept component, with what of them cannot be kept added to leftOut.
std::string AddLayers(const fs::path& folder, const hydrogen::Component& component,
                      SourceInstrument& out) {
  bool pitch = false, gain = std::abs(component.gain - 1) > 1e-6;
  for (const hydrogen::Layer& layer : component.layers) {
    if (layer.file.empty()) continue;
    const FoundSample found = FindInKit(folder, layer.file);
    if (found.place == Place::Outside)
      return "The sample " + Quoted(layer.file) + " of " + Quoted(out.name) +
             " lies outside the kit's folder.";
    if (found.place == Place::Missing)
      return "The sample " + Quoted(layer.file) + " of " + Quoted(out.name) + " is missing.";
    const int low = Velocity(layer.min), high = Velocity(layer.max);
    out.layers.push_back({std::min(low, high), std::max(low, high), found.path});
    pitch |= std::abs(layer.pitch) > 1e-6;
    gain |= std::abs(layer.gain - 1) > 1e-6;
  }
  if (pitch) AddLeftOut(out.leftOut, "pitch");
  if (gain) AddLeftOut(out.leftOut, "gain");
  return "";
}

// How many components the kit has beyond the kept one.
std::size_t ExtraComponents(const hydrogen::Drumkit& kit) {
  if (!kit.componentIds.empty()) return kit.componentIds.size() - 1;
  std::set<std::optional<int>> ids;
  for (const hydrogen::Instrument& in : kit.instruments)
    for (const hydrogen::Component& c : in.components) ids.insert(c.id);
  return ids.empty() ? 0 : ids.size() - 1;
}

ReadResult Convert(const hydrogen::Drumkit& kit, const fs::path& folder) {
  SourceKit out{kit.name.empty() ? folder.filename().string() : kit.name, folder, {}, {}};
  std::string silent;
  for (const hydrogen::Instrument& in : kit.instruments) {
    SourceInstrument instrument{in.name, in.note, "", {}, in.leftOut};
    if (in.muteGroup >= 0) instrument.chokeGroup = "mute" + std::to_string(in.muteGroup);
    if (const hydrogen::Component* kept = Kept(in, kit)) {
      const std::string why = AddLayers(folder, *kept, instrument);
      if (!why.empty()) return Failure(why);
    }
    if (!instrument.layers.empty())
      out.instruments.push_back(std::move(instrument));
    else
      silent += (silent.empty() ? "" : ", ") + in.name;
  }
  if (out.instruments.empty()) return Failure("The Hydrogen kit has no instrument with samples.");
  if (const std::size_t extra = ExtraComponents(kit); extra > 0)
    out.leftOut.push_back(std::to_string(extra) + (extra == 1 ? " component" : " components") +
                          " beyond the first");
  if (!silent.empty()) out.leftOut.push_back("instruments without samples: " + silent);
  return {std::move(out), ""};
}

// Read by its path's bytes, which need not be UTF-8.
std::optional<QByteArray> ReadBytes(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  std::ifstream in(file, std::ios::binary);
  if (ec || size > kMaxXmlBytes || !in) return std::nullopt;
  QByteArray bytes(qsizetype(size), '\0');
  if (!in.read(bytes.data(), std::streamsize(size))) return std::nullopt;
  return bytes;
}

ReadResult ReadXml(const fs::path& xml) {
  const fs::path folder = CanonicalFolder(xml.parent_path());
  const std::optional<QByteArray> bytes = ReadBytes(xml);
  if (folder.empty() || !bytes)
    return Failure("The drumkit file " + Quoted(xml.string()) + " cannot be read.");
  hydrogen::Drumkit kit;
  const std::string why = hydrogen::ReadDrumkitXml(*bytes, kit);
  if (!why.empty()) return Failure(why);
  return Convert(kit, folder);
}

ReadResult ReadSource(const fs::path& source, const fs::path& scratch,
                      const std::function<bool()>& goOn) {
  std::error_code ec;
  if (fs::is_directory(source, ec)) {
    if (!fs::is_regular_file(source / "drumkit.xml", ec))
      return Failure("The folder " + Quoted(source.string()) + " holds no drumkit.xml.");
    return ReadXml(source / "drumkit.xml");
  }
  if (!fs::is_regular_file(source, ec))
    return Failure("The kit " + Quoted(source.string()) + " is not there.");
  if (LooksLikeXml(source)) return ReadXml(source);
  std::string why;
  if (!ExtractArchive(source, scratch, why, kMostUnpackedBytes, kMostMembers, goOn))
    return Failure("The Hydrogen kit " + Quoted(source.filename().string()) +
                   " cannot be unpacked: " + why + ".");
  const fs::path xml = FindDrumkitXml(scratch);
  if (xml.empty())
    return Failure("The archive " + Quoted(source.filename().string()) + " holds no drumkit.xml.");
  return ReadXml(xml);
}

}  // namespace

ReadResult ReadHydrogenKit(const fs::path& source, const fs::path& scratch,
                           const std::function<bool()>& goOn) {
  try {
    return ReadSource(source, scratch, goOn);
  } catch (const std::exception& e) {
    return Failure("The Hydrogen kit cannot be read: " + std::string(e.what()) + ".");
  }
}

}  // namespace varnkit::import
