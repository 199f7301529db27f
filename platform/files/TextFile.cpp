#include "platform/files/TextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Error.h"
#include "platform/files/Fd.h"

namespace varnkit::files {
namespace {

std::string because(int err) {
  return std::string(" (") + std::strerror(err) + ")";
}

[[noreturn]] void raiseOpenError(const std::string& path, OpenMode mode, int err) {
  if (err == ENOENT || err == ENOTDIR) {
    throw Error(Error::kFileNotFound, mode == OpenMode::Input
                                          ? "File not found: " + path
                                          : "Folder not found for the file " + path);
  }
  throw Error(Error::kPathFileAccess, "Path/File access error: " + path + because(err));
}

// Non-blocking, so that a pipe or device in the file's place cannot hang the program; only
// regular files are taken. Output empties the file only once that is known.
int openDescriptor(const std::string& path, OpenMode mode) {
  const int flags = mode == OpenMode::Input ? O_RDONLY : O_WRONLY | O_CREAT;
  Fd fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666));
  if (!fd.valid()) raiseOpenError(path, mode, errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) raiseOpenError(path, mode, errno);
  if (!S_ISREG(st.st_mode)) {
    throw Error(Error::kPathFileAccess,
                "Path/File access error: " + path + " is not an ordinary file");
  }
  if (mode == OpenMode::Output && ::ftruncate(fd.get(), 0) != 0) raiseOpenError(path, mode, errno);
  return fd.release();
}

}  // namespace

TextFile::TextFile(const std::string& path, OpenMode mode) : mode_(mode), path_(path) {
  Fd fd(openDescriptor(path, mode));
  file_.reset(::fdopen(fd.get(), mode == OpenMode::Input ? "rb" : "wb"));
  if (!file_) accessError("cannot open");
  fd.release();
}

void TextFile::writeLine(std::string_view text) {
  require(OpenMode::Output);
  if (std::fwrite(text.data(), 1, text.size(), file_.get()) != text.size() ||
      std::fputs("\r\n", file_.get()) == EOF) {
    accessError("cannot write to");
  }
}

char TextFile::readChar() {
  require(OpenMode::Input);
  const int c = std::getc(file_.get());
  if (c != EOF) return char(c);
  if (std::ferror(file_.get())) accessError("cannot read");
  throw Error(kInputPastEndOfFile, "Input past end of file: " + path_);
}

bool TextFile::atEnd() {
  require(OpenMode::Input);
  const int c = std::getc(file_.get());
  if (c == EOF) {
    if (std::ferror(file_.get())) accessError("cannot read");
    return true;
  }
  std::ungetc(c, file_.get());
  return false;
}

void TextFile::close() {
  if (std::fclose(file_.release()) != 0) accessError("cannot finish writing");
}

void TextFile::require(OpenMode mode) const {
  if (mode_ == mode) return;
  throw Error(kBadFileMode, "Bad file mode: " + path_ + " is open for " +
                                (mode_ == OpenMode::Input ? "input" : "output"));
}

void TextFile::accessError(const std::string& what) const {
  throw Error(Error::kPathFileAccess,
              "Path/File access error: " + what + " " + path_ + because(errno));
}

}  // namespace varnkit::files
