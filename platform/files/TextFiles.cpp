#include "platform/files/TextFiles.h"

#include <map>

#include "platform/Error.h"
#include "platform/files/TextFile.h"

namespace varnkit::files {
namespace {

constexpr int32_t kHighestNumber = 511;

// Each thread has numbers of its own: a kit imported on a thread of its own saves through
// the same number the window's kit code uses meanwhile.
std::map<int32_t, TextFile>& table() {
  thread_local std::map<int32_t, TextFile> files;
  return files;
}

void checkNumber(int32_t number) {
  if (number < 1 || number > kHighestNumber) {
    throw Error(kBadFileNameOrNumber, "Bad file name or number: " + std::to_string(number));
  }
}

TextFile& openFile(int32_t number) {
  checkNumber(number);
  const auto it = table().find(number);
  if (it == table().end()) {
    throw Error(kBadFileNameOrNumber,
                "Bad file name or number: file " + std::to_string(number) + " is not open");
  }
  return it->second;
}

}  // namespace

void OpenTextFile(int32_t number, const std::string& path, OpenMode mode) {
  checkNumber(number);
  if (table().contains(number)) {
    throw Error(kFileAlreadyOpen, "File already open: number " + std::to_string(number));
  }
  table().try_emplace(number, path, mode);
}

void WriteLine(int32_t number, std::string_view text) {
  openFile(number).writeLine(text);
}

char ReadChar(int32_t number) {
  return openFile(number).readChar();
}

bool AtEnd(int32_t number) {
  return openFile(number).atEnd();
}

void CloseFile(int32_t number) {
  openFile(number);
  auto node = table().extract(number);
  node.mapped().close();
}

void CloseAllFiles() {
  table().clear();
}

bool IsOpen(int32_t number) {
  return table().contains(number);
}

}  // namespace varnkit::files
