#pragma once
// SFZ text as headers and opcodes, with comments dropped, #define'd variables put in and
// #include'd files followed.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "import/Sfz.h"

namespace varnkit::import::sfz {

// Receives what the scanner finds, in the order of the text.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void header(const std::string& name) = 0;
  virtual void opcode(const std::string& name, const std::string& value) = 0;
};

class Scanner {
 public:
  // sfzFile: absolute and free of ".."; its folder is the only place #include may reach.
  Scanner(const std::filesystem::path& sfzFile, const IncludeLoader& load, Sink& sink);

  // Scans the SFZ file's text; false when an #include is refused or the text is too large,
  // with error() saying why.
  bool scan(std::string_view text);
  const std::string& error() const { return error_; }
  // The #includes left unfollowed, loops and the too deeply nested, for the user.
  const std::vector<std::string>& skipped() const { return skipped_; }

 private:
  bool scanText(std::string_view text, int depth);
  std::size_t header(std::string_view t, std::size_t i);
  std::size_t opcode(std::string_view t, std::size_t i);
  std::size_t directive(std::string_view t, std::size_t i, int depth);
  void define(std::string_view rest);
  bool include(const std::string& written, int depth);
  std::string expand(std::string_view text) const;
  // Appends the value of the longest variable name starts with; the name's length, or 0.
  std::size_t putVariable(std::string_view name, std::string& out) const;

  std::filesystem::path folder_;
  const IncludeLoader& load_;
  Sink& sink_;
  std::map<std::string, std::string, std::less<>> variables_;
  std::vector<std::filesystem::path> open_;  // the files being scanned, outermost first
  int includes_ = 0;
  std::size_t scanned_ = 0;  // bytes of text
  std::string error_;
  std::vector<std::string> skipped_;
};

}  // namespace varnkit::import::sfz
