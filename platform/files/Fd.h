#pragma once
// A file descriptor closed when it goes out of scope.

#include <unistd.h>

#include <utility>

namespace varnkit::files {

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;

  // The descriptor, -1 when the open failed.
  int get() const { return fd_; }
  // True when the open succeeded.
  bool valid() const { return fd_ >= 0; }
  // Gives the descriptor up to the caller, who closes it.
  int release() { return std::exchange(fd_, -1); }
  // Closes now, so that a failing close can be seen.
  bool close() { return ::close(release()) == 0; }

 private:
  int fd_;
};

}  // namespace varnkit::files
