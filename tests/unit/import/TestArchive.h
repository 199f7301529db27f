#pragma once
// Archives and kits made in code for the readers' tests.

#include <archive_entry.h>

#include <filesystem>
#include <string>
#include <vector>

#include "import/SourceKit.h"

namespace varnkit::testing {

struct Member {
  std::string name;
  std::string data = "";     // a regular file's bytes
  unsigned type = AE_IFREG;  // AE_IFDIR, AE_IFLNK, AE_IFCHR...
  std::string link = "";     // the target of a symbolic link, or of a hard link when hard
  bool hard = false;
};

enum class Packing { Tar, TarGz, TarXz, Zip, SevenZip, Cpio };

// Writes the members, in order, into a new archive file.
void writeArchive(const std::filesystem::path& file, const std::vector<Member>& members,
                  Packing packing);

// Writes text to the file, making its folder.
void writeText(const std::filesystem::path& file, const std::string& text);

// Writes a short WAV file, making its folder.
void writeSample(const std::filesystem::path& file);

// The kit in a few lines: its name, then an instrument a line as
// "name|note|choke group|left out|velLow-velHigh sample|..." with samples relative to the
// kit's folder, then the kit's leftOut.
std::string describe(const import::SourceKit& kit);

}  // namespace varnkit::testing
