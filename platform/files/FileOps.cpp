#include "platform/files/FileOps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/files/Fd.h"

namespace varnkit::files {
namespace {

Status failure(const std::string& what, const std::string& path) {
  return Status::failed(what + " " + path + ": " + std::strerror(errno));
}

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= size_t(n);
  }
  return true;
}

Status copyContent(int from, int to, const std::string& source, const std::string& temp) {
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(from, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failure("cannot read", source);
    if (n == 0) return {};
    if (!writeAll(to, chunk, size_t(n))) return failure("cannot write", temp);
  }
}

Status checkTarget(const struct stat& src, const std::string& target) {
  struct stat dst {};
  if (::stat(target.c_str(), &dst) != 0) return {};
  if (dst.st_dev == src.st_dev && dst.st_ino == src.st_ino) {
    return Status::failed("cannot copy a file onto itself: " + target);
  }
  if (S_ISDIR(dst.st_mode)) return Status::failed("cannot replace the folder " + target);
  return {};
}

Status copyToTemporary(int from, const struct stat& src, const std::string& source,
                       std::string& temp) {
  Fd to(::mkostemp(temp.data(), O_CLOEXEC));
  if (!to.valid()) return failure("cannot create a file like", temp);
  Status status = copyContent(from, to.get(), source, temp);
  if (status.ok && ::fchmod(to.get(), src.st_mode & 0777) != 0) {
    status = failure("cannot set the mode of", temp);
  }
  if (status.ok && !to.close()) status = failure("cannot close", temp);
  if (!status.ok) ::unlink(temp.c_str());
  return status;
}

}  // namespace

Status MakeFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return failure("cannot create the folder", path);
  return {};
}

Status CopyFile(const std::string& source, const std::string& target) {
  // Non-blocking, so that a pipe given as the source cannot hang the program.
  Fd from(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!from.valid()) return failure("cannot open", source);
  struct stat src {};
  if (::fstat(from.get(), &src) != 0) return failure("cannot examine", source);
  if (!S_ISREG(src.st_mode)) return Status::failed(source + " is not an ordinary file");
  if (Status ok = checkTarget(src, target); !ok.ok) return ok;
  std::string temp = target + ".XXXXXX";
  if (Status copied = copyToTemporary(from.get(), src, source, temp); !copied.ok) return copied;
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    Status status = failure("cannot replace", target);
    ::unlink(temp.c_str());
    return status;
  }
  return {};
}

Status FlushFile(const std::string& path) {
  Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.valid()) return failure("cannot open", path);
  if (::fsync(file.get()) != 0) return failure("cannot flush", path);
  return {};
}

Status CommitFile(const std::string& temp, const std::string& target) {
  if (Status flushed = FlushFile(temp); !flushed.ok) return flushed;
  if (::rename(temp.c_str(), target.c_str()) != 0) return failure("cannot replace", target);
  const std::string::size_type slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());  // the rename itself survives a power cut
  return {};
}

}  // namespace varnkit::files
