#include "import/SfzRegion.h"

#include <algorithm>
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

// Applies the opcode to r; false when VarnKit does not know it.
bool Apply(Region& r, std::string_view name, std::string_view value) {
  if (ApplyKey(r, name, value)) return true;
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
    r.kept.insert_or_assign(std::string(name), Number(value).value_or(NAN));
  else
    return OfNoMatter(name);
  return true;
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
  unsigned bits = 0;
  for (const auto& [name, value] : kept) {
    const std::optional<Usual> usual = UsualOf(name);
    if (std::isnan(value) && !std::isnan(usual->value)) continue;  // unreadable: ignored
    if (!(std::abs(value - usual->value) < 1e-9)) bits |= usual->bit;
  }
  // Without a pitch centre a sample sounds unchanged from middle C only.
  if (keytrack != 0 && keycenter.value_or(60) + noteOffset != note) bits |= kPitch;
  return bits;
}

void Builder::header(const std::string& name) {
  flush();
  if (name != "region") inherited_.reset();  // only a header changes what regions inherit
  if (name == "region") {
    region_.clear();
    level_ = Level::Region;
    return;
  }
  level_ = Level::Ignored;
  if (name == "global") {
    global_.clear(), master_.clear(), group_.clear(), level_ = Level::Global;
  } else if (name == "master") {
    master_.clear(), group_.clear(), level_ = Level::Master;
  } else if (name == "group") {
    group_.clear(), level_ = Level::Group;
  } else if (name == "control") {
    level_ = Level::Control;
  } else if (name == "sample") {
    embeddedSamples = true;
  } else if (name != "curve" && name != "effect" && name != "midi") {
    noteUnknown(unknownHeaders, "<" + name + ">");
  }
}

void Builder::opcode(const std::string& name, const std::string& value) {
  if (level_ == Level::Control) return control(name, value);
  if (level_ == Level::None || level_ == Level::Ignored) return;
  Region scratch;
  if (!Apply(scratch, name, value)) return noteUnknown(unknownOpcodes, name);
  Opcodes& to = level_ == Level::Global   ? global_
                : level_ == Level::Master ? master_
                : level_ == Level::Group  ? group_
                                          : region_;
  to.emplace_back(name, value);
}

void Builder::finish() {
  flush();
  level_ = Level::None;
}

void Builder::flush() {
  if (level_ != Level::Region) return;
  if (regions.size() == kMaxRegions) {
    ++regionsBeyond;
    return;
  }
  if (!inherited_) {
    inherited_.emplace();
    inherited_->defaultPath = defaultPath_;
    inherited_->noteOffset = noteOffset_ + 12 * octaveOffset_;
    for (const Opcodes* level : {&global_, &master_, &group_})
      for (const auto& [name, value] : *level) Apply(*inherited_, name, value);
  }
  Region r = *inherited_;
  for (const auto& [name, value] : region_) Apply(r, name, value);
  regions.push_back(std::move(r));
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
