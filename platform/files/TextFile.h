#pragma once
// One open text file of the file-number table.

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "platform/files/TextFiles.h"

namespace varnkit::files {

class TextFile {
 public:
  // Opens path; raises varnkit::Error 53 or 75 as OpenTextFile says.
  TextFile(const std::string& path, OpenMode mode);

  // As WriteLine, ReadChar and AtEnd of TextFiles.h say, for this file.
  void writeLine(std::string_view text);
  char readChar();
  bool atEnd();
  // Closes the file, raising 75 when buffered text could not be written.
  void close();

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
  OpenMode mode_;
  std::string path_;

  void require(OpenMode mode) const;
  [[noreturn]] void accessError(const std::string& what) const;
};

}  // namespace varnkit::files
