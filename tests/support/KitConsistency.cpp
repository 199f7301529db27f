#include "tests/support/KitConsistency.h"

#include <random>
#include <set>

#include "kit/Drumkit.h"
#include "platform/files/TextFiles.h"

namespace varnkit::testing {
namespace {

std::string padProblem(KitState& state, const RecordingPadView& pads, int16_t i) {
  preset& pad = state.kit().Instrument(i);
  const std::string at = "pad " + std::to_string(i) + ": ";
  if (pad.Index != i) return at + "Index " + std::to_string(pad.Index);
  if (pads.tooltips[std::size_t(i)] != pad.PAD()) return at + "tooltip differs from the name";
  const bool in1 = state.Group1Pads.contains(itemKey(i));
  const bool in2 = state.Group2Pads.contains(itemKey(i));
  if (in1 && in2) return at + "in both group lists";
  if ((pad.Grp() == 0 && (in1 || in2)) || (pad.Grp() == 1 && !in1) || (pad.Grp() == 2 && !in2))
    return at + "group lists do not follow group " + std::to_string(pad.Grp());
  std::set<std::string> keys;
  for (const auto& entry : pad.layers()) {
    const Layer& layer = *entry.item;
    if (layer.parent != &pad) return at + "a layer belongs elsewhere";
    if (entry.key != layer.key || !keys.insert(layer.key).second) return at + "layer keys broken";
    if (layer.buffer() == nullptr && !layer.playNorm) return at + "a layer without sound";
  }
  const int8_t claim = state.usedRootKeys[std::size_t(pad.RootKey & 127)];
  const bool claimedSomething = std::find(state.usedRootKeys.begin(), state.usedRootKeys.end(),
                                          i) != state.usedRootKeys.end();
  if (claimedSomething && (pad.RootKey < 0 || pad.RootKey > 127 || claim != i))
    return at + "its root key is not its own claim";
  return "";
}

}  // namespace

std::string kitInconsistency(KitState& state, const RecordingPadView& pads) {
  if (files::IsOpen(1)) return "the kit file was left open";
  for (int16_t i = 0; i < 9; ++i)
    if (std::string problem = padProblem(state, pads, i); !problem.empty()) return problem;
  for (auto* group : {&state.Group1Pads, &state.Group2Pads})
    for (const auto& entry : *group)
      if (entry.key != itemKey(entry.item->Index)) return "a group entry under a wrong key";
  for (int8_t claim : state.usedRootKeys)
    if (claim != KitState::kFreeKey && (claim < 0 || claim > 8)) return "a claim by no pad";
  return "";
}

std::string mutatedKitText(const std::string& base, unsigned seed) {
  std::mt19937 rng(seed);
  static const std::string alphabet = ",,,,\r\n\t0123456789-.e +/.aIx\x01\xff";
  auto pick = [&](std::size_t n) { return n == 0 ? 0 : std::size_t(rng() % n); };
  std::string text = seed % 10 == 0 ? std::string() : base;
  const int edits = 1 + int(rng() % 8);
  for (int e = 0; e < edits || text.empty(); ++e) {
    const std::size_t at = pick(text.size() + 1);
    switch (rng() % 5) {
      case 0:
        text.insert(at, 1, alphabet[pick(alphabet.size())]);
        break;
      case 1:
        if (at < text.size()) text.erase(at, 1 + pick(20));
        break;
      case 2:
        if (at < text.size()) text[at] = char(rng());
        break;
      case 3:
        text.insert(at, text.substr(pick(text.size()), pick(60)));
        break;
      default:
        text.insert(at, std::to_string(int(rng()) % 100000));
        break;
    }
  }
  return text;
}

}  // namespace varnkit::testing
