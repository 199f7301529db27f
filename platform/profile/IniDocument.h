#pragma once
// The text of a settings file, kept line by line exactly as it was read, so that changing one
// value rewrites one line and leaves everything else, including lines it cannot understand
// (comments, damage, binary noise), byte for byte as it was.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnkit::profile {

class IniDocument {
 public:
  // Splits text into lines; any bytes are accepted.
  explicit IniDocument(std::string_view text);

  // The value of key in section (both matched without regard to ASCII letter case); the first
  // entry wins when a hand-edited file holds several.
  std::optional<std::string> value(std::string_view section, std::string_view key) const;
  // Stores value under key, keeping the spelling of an existing section or key. The value must
  // already be storable (see storableValue); callers check names with validName.
  void set(std::string_view section, std::string_view key, std::string_view value);
  // The whole text again, with the original line ends.
  std::string text() const;

 private:
  std::vector<std::string> lines_;  // without their LF; a CR before it stays in the line
  bool finalNewline_ = false;

  std::optional<size_t> findKey(std::string_view section, std::string_view key) const;
  std::optional<size_t> findSection(std::string_view section) const;
  void insertIntoSection(size_t header, std::string line);
};

// value as it can live on one line: cut at its first CR or LF.
std::string_view storableValue(std::string_view value);
// True when name can be written as a key (isSection false) or a section name without being
// read back as something else.
bool validName(std::string_view name, bool isSection);

}  // namespace varnkit::profile
