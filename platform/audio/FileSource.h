#pragma once
// A sample file opened for the decoder, read through a buffer of our own.

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio/Result.h"

namespace varnkit::audio {

struct SndfileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndfilePtr = std::unique_ptr<SNDFILE, SndfileCloser>;

// The file as the library sees it. The library reads a header a few bytes at a time and asks
// where it is between fields; answering from memory saves some thirty system calls per file,
// which for a short sample take longer than decoding it.
class FileSource {
 public:
  FileSource() = default;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  ~FileSource() {
    if (fd_ >= 0) ::close(fd_);
  }

  // Opens path for reading; on failure, says why in words that follow the file's name.
  std::optional<Failure> open(const std::string& path);
  uint64_t size() const { return size_; }
  // The library's view of this file; the source must outlive the handle.
  SndfilePtr openSndfile(SF_INFO& info);
  // Moves to offset from SEEK_SET, SEEK_CUR or SEEK_END; the new offset, or -1 before the start.
  sf_count_t seek(sf_count_t offset, int whence);
  // Reads from the offset on; fewer bytes than asked only at the end or on a read error.
  sf_count_t read(uint8_t* to, size_t bytes);

 private:
  static constexpr size_t kBufferBytes = 64 * 1024;

  size_t readAt(uint8_t* to, size_t bytes, uint64_t at) const;
  bool fill();

  int fd_ = -1;
  uint64_t size_ = 0;
  uint64_t pos_ = 0;
  std::vector<uint8_t> buffer_;
  uint64_t bufferAt_ = 0;  // the file offset of buffer_[0]
};

}  // namespace varnkit::audio
