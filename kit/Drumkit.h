#pragma once
// The kit being played and edited: a name and nine pads, numbered 0 to 8.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "kit/Preset.h"

namespace varnkit {

class KitState;

// All members: user-interface thread.
class Drumkit {
 public:
  // Root keys of the default pads 0 to 8: General MIDI percussion notes, in this order.
  static constexpr std::array<int32_t, 9> kDefaultRootKeys{36, 38, 42, 46, 50, 47, 43, 63, 64};

  // A kit of the nine default pads.
  explicit Drumkit(KitState& state);
  Drumkit(const Drumkit&) = delete;
  Drumkit& operator=(const Drumkit&) = delete;

  std::string Kitname;
  std::string Samples;  // folder of the loaded kit's samples
  std::string CopyRyt;  // fourth header field of the loaded kit file

  // The pad with number Index, 0 to 8; any other number raises Error 9.
  preset& Instrument(int16_t Index);
  // Silences every pad and resets all nine to the default pads; the name is kept.
  void Clear();

 private:
  preset& slot(int i);

  KitState& state_;
  std::array<std::unique_ptr<preset>, 9> pads_;
};

}  // namespace varnkit
