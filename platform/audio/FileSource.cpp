#include "platform/audio/FileSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varnkit::audio {

std::optional<Failure> FileSource::open(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
    const int error = errno;
    const bool missing = error == ENOENT || error == ENOTDIR;
    return Failure{missing ? DsResult::FileNotFound : DsResult::BadFormat,
                   std::string("cannot be opened: ") + std::strerror(error)};
  }
  if (!S_ISREG(st.st_mode)) return Failure{DsResult::BadFormat, "is not a regular file"};
  size_ = uint64_t(st.st_size);
  return std::nullopt;
}

SndfilePtr FileSource::openSndfile(SF_INFO& info) {
  static SF_VIRTUAL_IO io = {
      [](void* self) { return sf_count_t(static_cast<FileSource*>(self)->size_); },
      [](sf_count_t offset, int whence, void* self) {
        return static_cast<FileSource*>(self)->seek(offset, whence);
      },
      [](void* to, sf_count_t bytes, void* self) {
        return static_cast<FileSource*>(self)->read(static_cast<uint8_t*>(to),
                                                    size_t(std::max<sf_count_t>(bytes, 0)));
      },
      nullptr,
      [](void* self) { return sf_count_t(static_cast<FileSource*>(self)->pos_); },
  };
  return SndfilePtr(sf_open_virtual(&io, SFM_READ, &info, this));
}

sf_count_t FileSource::seek(sf_count_t offset, int whence) {
  const sf_count_t base = whence == SEEK_SET   ? 0
                          : whence == SEEK_CUR ? sf_count_t(pos_)
                                               : sf_count_t(size_);
  if (offset < -base || offset > INT64_MAX - base) return -1;
  pos_ = uint64_t(base + offset);
  return sf_count_t(pos_);
}

sf_count_t FileSource::read(uint8_t* to, size_t bytes) {
  size_t done = 0;
  while (done < bytes) {
    const size_t left = bytes - done;
    if (pos_ >= bufferAt_ && pos_ < bufferAt_ + buffer_.size()) {
      const size_t n = std::min(left, size_t(bufferAt_ + buffer_.size() - pos_));
      std::memcpy(to + done, buffer_.data() + (pos_ - bufferAt_), n);
      done += n;
      pos_ += n;
    } else if (left >= kBufferBytes) {  // bulk data goes straight to the caller
      const size_t got = readAt(to + done, left, pos_);
      done += got;
      pos_ += got;
      if (got < left) break;
    } else if (!fill()) {
      break;
    }
  }
  return sf_count_t(done);
}

size_t FileSource::readAt(uint8_t* to, size_t bytes, uint64_t at) const {
  size_t done = 0;
  while (done < bytes) {
    const ssize_t got = ::pread(fd_, to + done, bytes - done, off_t(at + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += size_t(got);
  }
  return done;
}

bool FileSource::fill() {
  buffer_.resize(kBufferBytes);
  buffer_.resize(readAt(buffer_.data(), kBufferBytes, pos_));
  bufferAt_ = pos_;
  return !buffer_.empty();
}

}  // namespace varnkit::audio
