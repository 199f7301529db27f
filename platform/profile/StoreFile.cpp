#include "platform/profile/StoreFile.h"

#include "platform/files/Fd.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace varnkit::profile {
namespace {

using files::Fd;

std::string reason(const std::string& what, const std::filesystem::path& file) {
  return what + " " + file.string() + ": " + std::strerror(errno);
}

bool writeAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += size_t(n);
  }
  return true;
}

Status readInto(int fd, const std::filesystem::path& file, std::string& text) {
  char chunk[8192];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Status::failed(reason("cannot read", file));
    if (n == 0) return {};
    text.append(chunk, size_t(n));
    if (text.size() > kMaxStoreBytes) {
      return Status::failed(file.string() + " is too large to be a settings file");
    }
  }
}

Status syncFolder(const std::filesystem::path& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0 || ::fsync(dir.get()) != 0) {
    return Status::failed(reason("cannot flush the folder", folder));
  }
  return {};
}

Status writeTemporary(int fd, const std::filesystem::path& temp, const std::string& text,
                      unsigned mode) {
  if (!writeAll(fd, text)) return Status::failed(reason("cannot write", temp));
  if (::fchmod(fd, mode) != 0) return Status::failed(reason("cannot set the mode of", temp));
  if (::fsync(fd) != 0) return Status::failed(reason("cannot flush", temp));
  return {};
}

}  // namespace

FileText readWhole(const std::filesystem::path& file) {
  FileText out;
  // Non-blocking, so that a pipe put in the store's place cannot hang the program.
  Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno != ENOENT) out.status = Status::failed(reason("cannot open", file));
    return out;
  }
  out.exists = true;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    out.status = Status::failed(reason("cannot examine", file));
  } else if (!S_ISREG(st.st_mode)) {
    out.status = Status::failed(file.string() + " is not an ordinary file");
  } else {
    out.mode = st.st_mode & 07777;
    out.status = readInto(fd.get(), file, out.text);
  }
  return out;
}

Status replaceAtomically(const std::filesystem::path& file, const std::string& text,
                         unsigned mode) {
  std::string temp = file.string() + ".XXXXXX";
  Fd fd(::mkostemp(temp.data(), O_CLOEXEC));
  if (fd.get() < 0) return Status::failed(reason("cannot create a temporary file beside", file));
  Status status = writeTemporary(fd.get(), temp, text, mode);
  if (status.ok && !fd.close()) status = Status::failed(reason("cannot close", temp));
  if (status.ok && ::rename(temp.c_str(), file.c_str()) != 0) {
    status = Status::failed(reason("cannot replace", file));
  }
  if (!status.ok) {
    ::unlink(temp.c_str());
    return status;
  }
  return syncFolder(file.has_parent_path() ? file.parent_path() : ".");
}

FolderLock::FolderLock(const std::filesystem::path& folder)
    : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
  if (fd_ < 0) {
    status_ = Status::failed(reason("cannot open the folder", folder));
    return;
  }
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      status_ = Status::failed(reason("cannot lock the folder", folder));
      return;
    }
  }
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace varnkit::profile
