#include "import/Plan.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

namespace varnkit::import {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The words of a name: runs of letters, and runs of digits, so "Tom1" is "tom" and "1".
std::vector<std::string> words(const std::string& name) {
  std::vector<std::string> out;
  std::string word;
  auto kind = [](char c) {
    return std::isalpha(static_cast<unsigned char>(c))   ? 1
           : std::isdigit(static_cast<unsigned char>(c)) ? 2
                                                         : 0;
  };
  for (char c : lower(name) + " ") {
    if (!word.empty() && kind(c) != kind(word.back())) {
      out.push_back(word);
      word.clear();
    }
    if (kind(c) != 0) word += c;
  }
  return out;
}

bool has(const std::vector<std::string>& w, std::initializer_list<const char*> any) {
  for (const std::string& word : w)
    for (const char* a : any)
      if (word == a) return true;
  return false;
}

bool contains(const std::string& name, std::initializer_list<const char*> any) {
  const std::string l = lower(name);
  for (const char* a : any)
    if (l.find(a) != std::string::npos) return true;
  return false;
}

bool hatLike(const std::string& n) {
  return contains(n, {"hat", "hihat"}) || has(words(n), {"hh", "hhc", "hho", "chh", "ohh"});
}
bool tomLike(const std::string& n) {
  return contains(n, {"tom"});
}

struct Role {
  const char* name;
  std::vector<int> notes;  // General MIDI notes, the usual one first
  bool (*named)(const std::string&);
};

// The nine pads, in the order they are filled.
const std::array<Role, 9>& roles() {
  static const std::array<Role, 9> table{{
      {"kick",
       {36, 35},
       [](const std::string& n) {
         return contains(n, {"kick", "bassdrum", "bass drum"}) || has(words(n), {"bd"});
       }},
      {"snare",
       {38, 40},
       [](const std::string& n) { return contains(n, {"snare"}) || has(words(n), {"sd"}); }},
      {"closed hi-hat",
       {42, 44},
       [](const std::string& n) {
         return (hatLike(n) && contains(n, {"clos", "shut"})) || has(words(n), {"chh", "hhc"});
       }},
      {"open hi-hat",
       {46},
       [](const std::string& n) {
         return (hatLike(n) && contains(n, {"open"})) || has(words(n), {"ohh", "hho"});
       }},
      {"high tom",
       {50, 48},
       [](const std::string& n) {
         return tomLike(n) && (has(words(n), {"hi", "high", "rack", "1"}));
       }},
      {"mid tom",
       {47, 45},
       [](const std::string& n) {
         return tomLike(n) && has(words(n), {"mid", "middle", "2"});
       }},
      {"floor tom",
       {43, 41},
       [](const std::string& n) {
         return contains(n, {"floor"}) || (tomLike(n) && has(words(n), {"lo", "low", "3"}));
       }},
      {"crash", {49, 57, 55, 52}, [](const std::string& n) { return contains(n, {"crash"}); }},
      {"ride", {51, 59, 53}, [](const std::string& n) { return contains(n, {"ride"}); }},
  }};
  return table;
}

// What a name alone says when no role names it outright: a hat, a tom, a cymbal.
bool genericallyFits(int role, const std::string& n) {
  if (role == 2 || role == 3) return hatLike(n);
  if (role >= 4 && role <= 6) return tomLike(n);
  if (role >= 7) return contains(n, {"cymbal"});
  return false;
}

bool playable(const SourceInstrument& in) {
  return !in.layers.empty();
}

struct Choice {
  int instrument = -1;  // -1: the pad stays empty
  bool byRole = false;  // false: filled from what was left
};

// The instrument for each pad.
std::array<Choice, 9> chooseInstruments(const SourceKit& source) {
  std::array<int, 9> chosen;
  chosen.fill(-1);
  std::set<int> taken;
  auto take = [&](int pad, auto&& fits) {
    if (chosen[pad] >= 0) return;
    for (int i = 0; i < int(source.instruments.size()); ++i) {
      const SourceInstrument& in = source.instruments[std::size_t(i)];
      if (taken.contains(i) || !playable(in) || !fits(in)) continue;
      chosen[pad] = i;
      taken.insert(i);
      return;
    }
  };
  // The note a source plays an instrument from says more than its name.
  for (int pad = 0; pad < 9; ++pad)
    for (int note : roles()[pad].notes)
      take(pad, [note](const SourceInstrument& in) { return in.note == note; });
  for (int pad = 0; pad < 9; ++pad)
    take(pad, [pad](const SourceInstrument& in) { return roles()[pad].named(in.name); });
  for (int pad = 0; pad < 9; ++pad)
    take(pad, [pad](const SourceInstrument& in) { return genericallyFits(pad, in.name); });
  std::array<Choice, 9> out;
  for (int pad = 0; pad < 9; ++pad) out[pad] = {chosen[pad], chosen[pad] >= 0};
  for (int pad = 0; pad < 9; ++pad) take(pad, [](const SourceInstrument&) { return true; });
  for (int pad = 0; pad < 9; ++pad)
    if (!out[pad].byRole) out[pad].instrument = chosen[pad];
  return out;
}

// One layer per lower velocity bound: the first, as round-robin and random alternatives
// cannot be played here. How many were dropped goes to dropped.
std::vector<SourceLayer> oneLayerPerVelocity(std::vector<SourceLayer> layers, int& dropped) {
  std::stable_sort(layers.begin(), layers.end(),
                   [](const SourceLayer& a, const SourceLayer& b) { return a.velLow < b.velLow; });
  std::vector<SourceLayer> kept;
  for (const SourceLayer& l : layers) {
    if (!kept.empty() && kept.back().velLow == l.velLow) {
      ++dropped;
      continue;
    }
    kept.push_back(l);
  }
  return kept;
}

// Gives every distinct sample a file name of its own in the kit folder, where names that
// differ only in letter case are one file.
class FileNames {
 public:
  std::string nameFor(const std::filesystem::path& source) {
    if (auto known = bySource_.find(source); known != bySource_.end()) return known->second;
    const std::string stem = SafeName(source.stem().string(), "sample");
    const std::string dotted = source.extension().string();
    const std::string bare = SafeName(dotted.empty() ? "" : dotted.substr(1), "");
    const std::string ext = bare.empty() ? "" : "." + bare;
    std::string name = stem + ext;
    for (int n = 2; used_.contains(lower(name)); ++n) name = stem + "-" + std::to_string(n) + ext;
    used_.insert(lower(name));
    bySource_[source] = name;
    return name;
  }

 private:
  std::map<std::filesystem::path, std::string> bySource_;
  std::set<std::string> used_;
};

int freeNote(const std::set<int>& usedNotes) {
  for (int n = 60; n < 128; ++n)
    if (!usedNotes.contains(n)) return n;
  return 60;
}

// Source choke groups become groups 1 and 2: the hi-hats' first, then the ones that hold
// the most pads. The rest are reported.
void assignGroups(ImportPlan& plan, const std::array<std::string, 9>& chokes) {
  std::map<std::string, int> pads;
  for (const std::string& c : chokes)
    if (!c.empty()) ++pads[c];
  std::vector<std::string> order;
  for (int hat : {2, 3})
    if (!chokes[hat].empty() && std::find(order.begin(), order.end(), chokes[hat]) == order.end())
      order.push_back(chokes[hat]);
  std::vector<std::string> rest;
  for (const auto& [c, n] : pads)
    if (std::find(order.begin(), order.end(), c) == order.end()) rest.push_back(c);
  std::stable_sort(rest.begin(), rest.end(),
                   [&](const std::string& a, const std::string& b) { return pads[a] > pads[b]; });
  order.insert(order.end(), rest.begin(), rest.end());
  for (int pad = 0; pad < 9; ++pad) {
    const auto at = std::find(order.begin(), order.end(), chokes[pad]);
    if (chokes[pad].empty() || !plan.pads[pad]) continue;
    const int g = int(at - order.begin()) + 1;
    if (g <= 2) plan.pads[pad]->group = g;
  }
  if (order.size() > 2)
    plan.leftOut.push_back(std::to_string(order.size() - 2) +
                           " mute groups beyond two (VarnKit has groups 1 and 2)");
}

std::string joined(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) out += (out.empty() ? "" : ", ") + s;
  return out;
}

PlannedPad planPad(const SourceInstrument& in, int role, FileNames& names, int& dropped) {
  PlannedPad pad;
  pad.sourceName = in.name;
  pad.name = SafeName(in.name, role >= 0 ? roles()[role].name : "Pad");
  pad.role = role >= 0 ? roles()[role].name : "";
  for (const SourceLayer& l : oneLayerPerVelocity(in.layers, dropped))
    pad.layers.push_back({std::clamp(l.velLow, 0, 127), l.sample, names.nameFor(l.sample)});
  return pad;
}

}  // namespace

std::string SafeName(const std::string& text, const std::string& fallback) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    const bool unsafe =
        u < 0x20 || u == 0x7f || std::string_view(",\"/\\").find(c) != std::string_view::npos;
    out += unsafe ? ' ' : c;
  }
  const auto first = out.find_first_not_of(" .");
  if (first == std::string::npos) return fallback;
  out = out.substr(first, out.find_last_not_of(' ') - first + 1);
  return out;
}

ImportPlan PlanImport(const SourceKit& source, const std::string& kitName) {
  ImportPlan plan;
  plan.kitName = SafeName(kitName.empty() ? source.name : kitName, "Imported kit");
  plan.leftOut = source.leftOut;
  const std::array<Choice, 9> chosen = chooseInstruments(source);
  FileNames names;
  std::array<std::string, 9> chokes;
  std::set<int> usedNotes;
  int dropped = 0;
  for (int pad = 0; pad < 9; ++pad) {
    if (chosen[pad].instrument < 0) continue;
    const SourceInstrument& in = source.instruments[std::size_t(chosen[pad].instrument)];
    plan.pads[pad] = planPad(in, chosen[pad].byRole ? pad : -1, names, dropped);
    chokes[pad] = in.chokeGroup;
    if (!in.leftOut.empty()) plan.leftOut.push_back(in.name + ": " + joined(in.leftOut));
    if (in.note || chosen[pad].byRole) {
      plan.pads[pad]->rootKey = in.note ? *in.note : roles()[pad].notes.front();
      usedNotes.insert(plan.pads[pad]->rootKey);
    }
  }
  // Pads filled from what was left, with no note of their own, take notes nothing plays.
  for (int pad = 0; pad < 9; ++pad) {
    if (!plan.pads[pad] || chosen[pad].byRole ||
        source.instruments[std::size_t(chosen[pad].instrument)].note)
      continue;
    plan.pads[pad]->rootKey = freeNote(usedNotes);
    usedNotes.insert(plan.pads[pad]->rootKey);
  }
  assignGroups(plan, chokes);
  std::vector<std::string> beyond;
  for (int i = 0; i < int(source.instruments.size()); ++i)
    if (std::none_of(chosen.begin(), chosen.end(),
                     [i](const Choice& c) { return c.instrument == i; }) &&
        playable(source.instruments[std::size_t(i)]))
      beyond.push_back(source.instruments[std::size_t(i)].name);
  if (!beyond.empty())
    plan.leftOut.push_back(std::to_string(beyond.size()) +
                           " instruments beyond nine: " + joined(beyond));
  if (dropped > 0)
    plan.leftOut.push_back(std::to_string(dropped) +
                           " alternative samples (round robin or random) at a velocity that "
                           "already has one");
  return plan;
}

std::string Summary(const ImportPlan& plan) {
  std::string text = "Kit '" + plan.kitName + "':\n";
  for (int pad = 0; pad < 9; ++pad) {
    text += "Pad " + std::to_string(pad + 1) + ": ";
    const auto& p = plan.pads[pad];
    if (!p) {
      text += "empty\n";
      continue;
    }
    text += p->name + " from '" + p->sourceName + "', " + std::to_string(p->layers.size()) +
            (p->layers.size() == 1 ? " layer" : " layers") + ", note " +
            std::to_string(p->rootKey) + (p->group ? ", group " + std::to_string(p->group) : "") +
            "\n";
  }
  if (!plan.leftOut.empty()) {
    text += "Left out:\n";
    for (const std::string& s : plan.leftOut) text += "- " + s + "\n";
  }
  return text;
}

}  // namespace varnkit::import
