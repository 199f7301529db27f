#include "import/SfzRegion.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string_view>

#include "import/Paths.h"

namespace varnkit::import::sfz {

namespace {

constexpr int kMaxGroup = 1'000'000'000;
// Far more than any drum kit has; a sampled piano has a few thousand.
constexpr std::size_t kMaxRegions = 20000;

std::optional<double> Number(std::string_view v) {
  if (!v.empty() && v[0] == '+') v.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), value);
  if (ec != std::errc() || end != v.data() + v.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int> Integer(std::string_view v, int low, int high) {
  const std::optional<double> value = Number(v);
  if (!value) return std::nullopt;
  return int(std::clamp(std::round(*value), double(low), double(high)));
}

// "c4" is 60, "C#3" 49, "db2" 37.
std::optional<int> NoteName(std::string_view v) {
  static constexpr int kFromA[] = {9, 11, 0, 2, 4, 5, 7};
  const char letter = char(std::tolower(static_cast<unsigned char>(v.empty() ? 0 : v[0])));
  if (letter < 'a' || letter > 'g') return std::nullopt;
  int note = kFromA[letter - 'a'];
  v.remove_prefix(1);
  if (!v.empty() && (v[0] == '#' || v[0] == 'b')) {
    note += v[0] == '#' ? 1 : -1;
    v.remove_prefix(1);
  }
  int octave = 0;
  const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), octave);
  if (v.empty() || ec != std::errc() || end != v.data() + v.size() || octave < -1 || octave > 9)
    return std::nullopt;
  return (octave + 1) * 12 + note;
}

// A key as a number or a note name; -1 is "no key".
std::optional<int> Key(std::string_view v) {
  if (const std::optional<int> key = Integer(v, -1, 127)) return key;
  if (const std::optional<int> key = NoteName(v)) return std::clamp(*key, -1, 127);
  return std::nullopt;
}

// Opcodes whose value VarnKit cannot keep unless it is the one given here.
struct Usual {
  std::string_view name;
  unsigned bit;
  double value;
};
constexpr Usual kUsual[] = {
    {"transpose", kPitch, 0},    {"tune", kPitch, 0},        {"pitch", kPitch, 0},
    {"pitch_random", kPitch, 0}, {"pan", kPan, 0},           {"position", kPan, 0},
    {"width", kPan, 100},        {"volume", kVolume, 0},     {"gain", kVolume, 0},
    {"amplitude", kVolume, 100}, {"amp_random", kVolume, 0}, {"ampeg_sustain", kEnvelope, 100}};

std::optional<Usual> UsualOf(std::string_view name) {
  for (const Usual& u : kUsual)
    if (u.name == name) return u;
  if (name.starts_with("ampeg_")) return Usual{name, kEnvelope, 0};
  if (name == "cutoff") return Usual{name, kFilter, NAN};  // any cutoff means a filter
  return std::nullopt;
}

// Known, and of no matter to a pad: alternatives are all kept, loops and polyphony and the
// velocity curve are the pad's own.
bool OfNoMatter(std::string_view name) {
  static constexpr std::string_view kNames[] = {
      "global_label", "fil_type",     "resonance", "loop_mode",    "loopmode",  "loop_start",
      "loop_end",     "loopstart",    "loopend",   "amp_veltrack", "polyphony", "note_polyphony",
      "seq_length",   "seq_position", "lorand",    "hirand",       "off_mode",  "off_time",
      "output",       "bend_up",      "bend_down"};
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames) ||
         name.starts_with("hint_");
}

bool ApplyKey(Region& r, std::string_view name, std::string_view value) {
  const std::optional<int> key = Key(value);
  if (name == "key") {
    if (key) r.lokey = r.hikey = *key, r.keycenter = *key;
  } else if (name == "lokey") {
    r.lokey = key.value_or(r.lokey);
  } else if (name == "hikey") {
    r.hikey = key.value_or(r.hikey);
  } else if (name == "pitch_keycenter") {
    if (key) r.keycenter = key;
  } else {
    return false;
  }
  return true;
}

// Whether a kept value makes VarnKit leave a part of the sound out; an unreadable number is
// ignored, unless any value at all means a part VarnKit lacks.
bool Differs(const Usual& usual, double value) {
  if (std::isnan(value) && !std::isnan(usual.value)) return false;
  return !(std::abs(value - usual.value) < 1e-9);
}

enum class Applied { Unknown, Set, Kept };

// Applies the opcode to r. Kept: an opcode whose value VarnKit cannot keep, left to the caller.
Applied Apply(Region& r, std::string_view name, std::string_view value) {
  if (ApplyKey(r, name, value)) return Applied::Set;
  if (name == "sample")
    r.sample = ForwardSlashes(std::string(value));
  else if (name == "lovel")
    r.lovel = Integer(value, 0, 127).value_or(r.lovel);
  else if (name == "hivel")
    r.hivel = Integer(value, 0, 127).value_or(r.hivel);
  else if (name == "pitch_keytrack")
    r.keytrack = Integer(value, -1200, 1200).value_or(r.keytrack);
  else if (name == "group")
    r.group = Integer(value, -kMaxGroup, kMaxGroup).value_or(r.group);
  else if (name == "off_by")
    r.offBy = Integer(value, -kMaxGroup, kMaxGroup);
  else if (name == "region_label")
    r.regionLabel = value;
  else if (name == "group_label")
    r.groupLabel = value;
  else if (name == "master_label")
    r.masterLabel = value;
  else if (name == "trigger")
    r.onRelease = value == "release" || value == "release_key";
  else if (UsualOf(name))
    return Applied::Kept;
  else
    return OfNoMatter(name) ? Applied::Set : Applied::Unknown;
  return Applied::Set;
}

bool IsControlSetting(std::string_view name) {
  for (std::string_view prefix :
       {"set_cc", "set_hdcc", "set_realcc", "label_cc", "label_key", "hint_"})
    if (name.starts_with(prefix)) return true;
  return false;
}

}  // namespace

std::optional<int> Region::note() const {
  if (lokey < 0 || hikey < 0) return std::nullopt;
  const int low = std::max(lokey + noteOffset, 0), high = std::min(hikey + noteOffset, 127);
  if (low > high) return std::nullopt;
  if (keycenter && *keycenter + noteOffset >= low && *keycenter + noteOffset <= high)
    return *keycenter + noteOffset;
  return low;
}

unsigned Region::leftOut(int note) const {
  unsigned bits = keptBits;
  // Without a pitch centre a sample sounds unchanged from middle C only.
  if (keytrack != 0 && keycenter.value_or(60) + noteOffset != note) bits |= kPitch;
  return bits;
}

unsigned Builder::Kept::bits() const {
  unsigned bits = 0;
  for (std::size_t i = 0; i < kBits; ++i)
    if (differing[i] > 0) bits |= 1u << i;
  return bits;
}

void Builder::header(const std::string& name) {
  flush();
  if (name == "region") {
    level_ = Level::Region;
    if (regions.size() == kMaxRegions) return;  // counted, not kept
    region_.emplace(levels_.back().made);
    region_->defaultPath = defaultPath_;
    region_->noteOffset = noteOffset_ + 12 * octaveOffset_;
    regionKept_.own.clear();
    regionKept_.differing = levels_.back().kept.differing;
    return;
  }
  level_ = Level::Ignored;
  if (name == "global") {
    startLevel(Level::Global);
  } else if (name == "master") {
    startLevel(Level::Master);
  } else if (name == "group") {
    startLevel(Level::Group);
  } else if (name == "control") {
    level_ = Level::Control;
  } else if (name == "sample") {
    embeddedSamples = true;
  } else if (name != "curve" && name != "effect" && name != "midi") {
    noteUnknown(unknownHeaders, "<" + name + ">");
  }
}

// The level starts afresh from the one above it, and ends the levels below it.
void Builder::startLevel(Level level) {
  while (!levels_.empty() && levels_.back().level >= level) levels_.pop_back();
  Inherited next;
  next.level = level;
  if (!levels_.empty()) {
    next.made = levels_.back().made;
    next.kept.differing = levels_.back().kept.differing;
  }
  levels_.push_back(std::move(next));
  level_ = level;
}

void Builder::opcode(const std::string& name, const std::string& value) {
  if (level_ == Level::Control) return control(name, value);
  if (level_ == Level::None || level_ == Level::Ignored) return;
  const bool inRegion = level_ == Level::Region;
  Region beyond;  // a region past the most that are kept still names its unknown opcodes
  Region& to = inRegion ? (region_ ? *region_ : beyond) : levels_.back().made;
  const Applied applied = Apply(to, name, value);
  if (applied == Applied::Unknown) return noteUnknown(unknownOpcodes, name);
  if (applied != Applied::Kept || (inRegion && !region_)) return;
  const double number = Number(value).value_or(NAN);
  if (inRegion)
    keep(regionKept_, levels_.size(), name, number);
  else
    keep(levels_.back().kept, levels_.size() - 1, name, number);
}

// Sets a kept value on the level to, below the first parents of levels_: the value it
// replaces, its own or inherited, no longer counts.
void Builder::keep(Kept& to, std::size_t parents, const std::string& name, double value) {
  const Usual usual = *UsualOf(name);
  std::optional<double> before;
  if (const auto at = to.own.find(name); at != to.own.end()) before = at->second;
  for (std::size_t i = parents; !before && i-- > 0;)
    if (const auto at = levels_[i].kept.own.find(name); at != levels_[i].kept.own.end())
      before = at->second;
  int& count = to.differing[std::size_t(std::countr_zero(usual.bit))];
  if (before && Differs(usual, *before)) --count;
  if (Differs(usual, value)) ++count;
  to.own.insert_or_assign(name, value);
}

void Builder::finish() {
  flush();
  level_ = Level::None;
}

void Builder::flush() {
  if (level_ != Level::Region) return;
  if (!region_) {
    ++regionsBeyond;
    return;
  }
  region_->keptBits = regionKept_.bits();
  regions.push_back(std::move(*region_));
  region_.reset();
}

void Builder::control(const std::string& name, const std::string& value) {
  if (name == "default_path")
    defaultPath_ = ForwardSlashes(value);
  else if (name == "note_offset")
    noteOffset_ = Integer(value, -127, 127).value_or(0);
  else if (name == "octave_offset")
    octaveOffset_ = Integer(value, -10, 10).value_or(0);
  else if (!IsControlSetting(name))
    noteUnknown(unknownOpcodes, name);
}

void Builder::noteUnknown(std::vector<std::string>& list, const std::string& name) {
  if (seen_.insert(name).second) list.push_back(name);
}

}  // namespace varnkit::import::sfz
