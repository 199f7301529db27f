#include "import/Sfz.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "import/Paths.h"
#include "import/SfzRegion.h"
#include "import/SfzScanner.h"

namespace varnkit::import {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMaxFileBytes = 64u << 20;

ReadResult Failure(std::string why) {
  return {std::nullopt, std::move(why)};
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

// Groups joined by off_by choke each other: every group of a joined set gets the set's
// smallest number. Group 0 is every region without a group, so it joins nothing.
class Chokes {
 public:
  explicit Chokes(const std::vector<sfz::Region>& regions) {
    for (const sfz::Region& r : regions)
      if (r.offBy && *r.offBy != 0 && r.group != 0) join(r.group, *r.offBy);
  }

  // The choke group of the SFZ group, or "" when no off_by names it.
  std::string of(int64_t group) {
    if (!parent_.count(group)) return "";
    return "sfz" + std::to_string(root(group));
  }

 private:
  int64_t root(int64_t group) {
    int64_t top = parent_.try_emplace(group, group).first->second;
    while (parent_[top] != top) top = parent_[top];
    for (int64_t at = group; parent_[at] != top;) at = std::exchange(parent_[at], top);
    return top;
  }
  void join(int64_t a, int64_t b) {
    const int64_t ra = root(a), rb = root(b);
    parent_[std::max(ra, rb)] = std::min(ra, rb);
  }

  std::map<int64_t, int64_t> parent_;
};

std::string NameOf(const sfz::Region& r) {
  for (const std::string* label : {&r.regionLabel, &r.groupLabel, &r.masterLabel})
    if (!label->empty()) return *label;
  return fs::path(r.sample).stem().string();
}

std::vector<std::string> LeftOutNames(unsigned bits) {
  static constexpr std::pair<unsigned, const char*> kNames[] = {{sfz::kPitch, "pitch"},
                                                                {sfz::kPan, "pan"},
                                                                {sfz::kEnvelope, "envelope"},
                                                                {sfz::kFilter, "filter"},
                                                                {sfz::kVolume, "volume"}};
  std::vector<std::string> names;
  for (const auto& [bit, name] : kNames)
    if (bits & bit) names.push_back(name);
  return names;
}

std::string List(const std::string& what, const std::vector<std::string>& names) {
  constexpr std::size_t kShown = 12;
  std::string text = what + ": ";
  for (std::size_t i = 0; i < std::min(names.size(), kShown); ++i)
    text += (i ? ", " : "") + names[i];
  if (names.size() > kShown) text += " and " + std::to_string(names.size() - kShown) + " more";
  return text;
}

std::string Regions(std::size_t n) {
  return std::to_string(n) + (n == 1 ? " region" : " regions");
}

// What the kit file holds that no instrument keeps.
struct Unkept {
  std::vector<std::string> generated;   // in order of first appearance
  std::set<std::string> generatedSeen;  // the same, to look them up
  std::size_t onRelease = 0, unplayed = 0;

  void addTo(std::vector<std::string>& leftOut) const {
    if (!generated.empty()) leftOut.push_back(List("generated sounds", generated));
    if (onRelease) leftOut.push_back(Regions(onRelease) + " played on release");
    if (unplayed) leftOut.push_back(Regions(unplayed) + " that no key plays");
  }
};

class Assembly {
 public:
  Assembly(SourceKit& kit, const std::vector<sfz::Region>& regions) : kit_(kit), chokes_(regions) {}

  // Adds the region to the instrument of its note; the error sentence, or "".
  std::string add(const sfz::Region& r);
  // Sets the instruments' leftOut and notes the rest in the kit's.
  void finish();

 private:
  SourceKit& kit_;
  Chokes chokes_;
  std::map<int, std::size_t> byNote_;
  std::vector<unsigned> leftOut_;
  Unkept unkept_;
};

std::string Assembly::add(const sfz::Region& r) {
  if (r.sample.empty()) return "";  // a region that only silences others
  if (r.sample[0] == '*') {
    if (unkept_.generatedSeen.insert(r.sample).second) unkept_.generated.push_back(r.sample);
    return "";
  }
  const std::optional<int> note = r.note();
  if (r.onRelease) ++unkept_.onRelease;
  if (!note || r.lovel > r.hivel) ++unkept_.unplayed;
  if (r.onRelease || !note || r.lovel > r.hivel) return "";
  const fs::path sample = (kit_.folder / r.defaultPath / r.sample).lexically_normal();
  if (!IsInside(kit_.folder, sample))
    return "The sample " + Quoted(r.defaultPath + r.sample) + " lies outside the kit's folder.";
  const auto [at, added] = byNote_.try_emplace(*note, kit_.instruments.size());
  if (added) {
    kit_.instruments.push_back({NameOf(r), note, "", {}, {}});
    leftOut_.push_back(0);
  }
  SourceInstrument& instrument = kit_.instruments[at->second];
  instrument.layers.push_back({r.lovel, r.hivel, sample});
  leftOut_[at->second] |= r.leftOut(*note);
  if (instrument.chokeGroup.empty()) instrument.chokeGroup = chokes_.of(r.group);
  return "";
}

void Assembly::finish() {
  for (std::size_t i = 0; i < kit_.instruments.size(); ++i)
    kit_.instruments[i].leftOut = LeftOutNames(leftOut_[i]);
  unkept_.addTo(kit_.leftOut);
}

ReadResult Assemble(const sfz::Builder& built, const sfz::Scanner& scanner, SourceKit kit) {
  Assembly assembly(kit, built.regions);
  for (const sfz::Region& r : built.regions)
    if (std::string why = assembly.add(r); !why.empty()) return Failure(why);
  if (kit.instruments.empty())
    return Failure("The SFZ file has no region with a sample a key plays.");
  assembly.finish();
  if (!built.unknownOpcodes.empty())
    kit.leftOut.push_back(List("unknown opcodes", built.unknownOpcodes));
  if (!built.unknownHeaders.empty())
    kit.leftOut.push_back(List("unknown headers", built.unknownHeaders));
  if (built.embeddedSamples) kit.leftOut.push_back("samples embedded in the file");
  if (built.regionsBeyond)
    kit.leftOut.push_back(Regions(built.regionsBeyond) + " beyond the first " +
                          std::to_string(built.regions.size()));
  for (const std::string& skipped : scanner.skipped())
    if (std::find(kit.leftOut.begin(), kit.leftOut.end(), skipped) == kit.leftOut.end())
      kit.leftOut.push_back(skipped);
  return {std::move(kit), ""};
}

std::optional<std::string> ReadText(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  if (ec || size > kMaxFileBytes) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  std::string text(size, '\0');
  if (!in || !in.read(text.data(), std::streamsize(size))) return std::nullopt;
  return text;
}

// The samples on the disk: there, regular files, inside the folder even through links.
std::string FindSamples(SourceKit& kit) {
  for (SourceInstrument& instrument : kit.instruments)
    for (SourceLayer& layer : instrument.layers) {
      const fs::path relative = layer.sample.lexically_relative(kit.folder);
      const FoundSample found = FindInKit(kit.folder, relative);
      if (found.place == Place::Outside)
        return "The sample " + Quoted(relative.string()) + " lies outside the kit's folder.";
      if (found.place == Place::Missing)
        return "The sample " + Quoted(relative.string()) + " is missing.";
      layer.sample = found.path;
    }
  return "";
}

IncludedText LoadInclude(const fs::path& folder, const fs::path& file) {
  const fs::path relative = file.lexically_relative(folder);
  const FoundSample found = FindInKit(folder, relative);
  if (found.place == Place::Outside)
    return {std::nullopt,
            "The #include " + Quoted(relative.string()) + " leads out of the kit's folder."};
  std::optional<std::string> text;
  if (found.place == Place::Inside) text = ReadText(found.path);
  if (!text)
    return {std::nullopt,
            "The #include file " + Quoted(relative.string()) + " is missing or cannot be read."};
  return {std::move(text), ""};
}

ReadResult Read(const fs::path& sfzFile) {
  std::error_code ec;
  const fs::path folder = CanonicalFolder(fs::absolute(sfzFile, ec).parent_path());
  const std::optional<std::string> text =
      folder.empty() ? std::nullopt : ReadText(folder / sfzFile.filename());
  if (!text) return Failure("The SFZ file " + Quoted(sfzFile.string()) + " cannot be read.");
  ReadResult read = ParseSfz(*text, folder / sfzFile.filename(),
                             [&folder](const fs::path& f) { return LoadInclude(folder, f); });
  if (!read.kit) return read;
  if (const std::string why = FindSamples(*read.kit); !why.empty()) return Failure(why);
  return read;
}

}  // namespace

ReadResult ParseSfz(std::string_view text, const fs::path& sfzFile, const IncludeLoader& load) {
  try {
    const fs::path file = sfzFile.lexically_normal();
    sfz::Builder built;
    sfz::Scanner scanner(file, load, built);
    if (!scanner.scan(text)) return Failure(scanner.error());
    built.finish();
    return Assemble(built, scanner, {file.stem().string(), file.parent_path(), {}, {}});
  } catch (const std::exception& e) {
    return Failure("The SFZ file cannot be read: " + std::string(e.what()) + ".");
  }
}

ReadResult ReadSfz(const fs::path& sfzFile) {
  try {
    return Read(sfzFile);
  } catch (const std::exception& e) {
    return Failure("The SFZ file cannot be read: " + std::string(e.what()) + ".");
  }
}

}  // namespace varnkit::import
