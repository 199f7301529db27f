#pragma once
// SFZ regions with what they inherit from <global>, <master> and <group> applied.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "import/SfzScanner.h"

namespace varnkit::import::sfz {

// What of a region VarnKit cannot keep, as bits.
enum LeftOut : unsigned { kPitch = 1, kPan = 2, kEnvelope = 4, kFilter = 8, kVolume = 16 };

struct Region {
  std::string sample;       // as written, "\" turned to "/"; "*sine" and such are generated
  std::string defaultPath;  // the <control>'s default_path in force for the region
  int lokey = 0, hikey = 127;
  std::optional<int> keycenter;  // pitch_keycenter, or key
  int keytrack = 100;
  int noteOffset = 0;  // the <control>'s note_offset plus 12 times its octave_offset
  int lovel = 1, hivel = 127;
  int64_t group = 0;
  std::optional<int64_t> offBy;
  std::string regionLabel, groupLabel, masterLabel;
  bool onRelease = false;  // sounds when the key is let go
  unsigned keptBits = 0;   // LeftOut bits of the opcodes in force whose value VarnKit cannot keep

  // The MIDI note that plays the region: its key, or the pitch centre or lowest key of its
  // range. None when no key plays it.
  std::optional<int> note() const;
  // LeftOut bits of the region played from note.
  unsigned leftOut(int note) const;
};

// Builds the regions from the scanner's headers and opcodes. A header resets the levels
// below it: a new <group> starts without the last group's opcodes. Each level keeps what it
// makes of a region, so a region costs its own opcodes only, however much it inherits.
class Builder : public Sink {
 public:
  void header(const std::string& name) override;
  void opcode(const std::string& name, const std::string& value) override;
  // Ends the last region.
  void finish();

  std::vector<Region> regions;
  std::vector<std::string> unknownOpcodes;  // in order of first appearance
  std::vector<std::string> unknownHeaders;  // as "<name>"
  bool embeddedSamples = false;             // <sample> headers, which carry sample data
  std::size_t regionsBeyond = 0;            // regions past the most that are kept

 private:
  enum class Level { None, Control, Global, Master, Group, Region, Ignored };
  static constexpr std::size_t kBits = 5;  // the LeftOut bits

  // The values of opcodes VarnKit cannot keep that one level sets itself, and how many of
  // those in force there, its parents' included, differ from the usual value, by bit.
  struct Kept {
    std::map<std::string, double, std::less<>> own;
    std::array<int, kBits> differing{};
    unsigned bits() const;
  };
  // <global>, <master> or <group>: what it and the levels above it make of a region.
  struct Inherited {
    Level level = Level::Global;
    Region made;
    Kept kept;
  };

  void startLevel(Level level);
  void keep(Kept& to, std::size_t parents, const std::string& name, double value);
  void flush();
  void control(const std::string& name, const std::string& value);
  void noteUnknown(std::vector<std::string>& list, const std::string& name);

  Level level_ = Level::None;
  std::vector<Inherited> levels_{Inherited{}};  // the <global> first, the innermost last
  std::optional<Region> region_;                // the region being read
  Kept regionKept_;
  std::string defaultPath_;
  int noteOffset_ = 0, octaveOffset_ = 0;
  std::set<std::string> seen_;  // the unknown names listed
};

}  // namespace varnkit::import::sfz
