#pragma once
// The settings store: one INI-style file of sections and keys, standing in for the user profile.
// There is no cache: every read goes to the file, and every write re-reads it, changes one key
// and replaces the file atomically, so two programs writing in turn lose nothing and a crash
// leaves either the old file or the new one.
//
// Damaged files: lines that cannot be understood read as nothing and are written back
// unchanged. A file that cannot be read at all (no permission, too large to be a settings file,
// not a regular file) is never replaced: writes to it fail.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile/Status.h"

namespace varnkit::profile {

// A read: the value, or none when the key is absent; status says whether the file could be read.
struct Lookup {
  std::optional<std::string> value;
  Status status;
};

class SettingsStore {
 public:
  // The store kept in file; the file and its folder are made by the first write.
  explicit SettingsStore(std::filesystem::path file);

  // The value of key in section, straight from the file.
  Lookup read(std::string_view section, std::string_view key) const;
  // Stores value under key in section, creating both when needed. A value holding a line break
  // is cut at its first CR or LF, since one entry is one line. Section and key must be
  // non-empty and hold no line break; a key cannot hold "=" nor start with "[", ";" or "#"; a
  // section cannot hold "]".
  Status write(std::string_view section, std::string_view key, std::string_view value) const;

  // The file this store reads and writes.
  const std::filesystem::path& file() const { return file_; }

 private:
  std::filesystem::path file_;
};

// Where the user's store lives: $XDG_CONFIG_HOME/VarnKit/VarnKit.ini, with XDG_CONFIG_HOME
// (when unset, empty or relative) defaulting to the home folder's ".config". None when the
// home folder is unknown.
std::optional<std::filesystem::path> userStorePath();

}  // namespace varnkit::profile
