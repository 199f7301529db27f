#pragma once
// MPEG audio (MP3, MP2) decoded to the end of its stream.

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct mpg123_handle_struct;

namespace varnkit::audio {

class FileSource;

// The sound-file library stops an MPEG stream at the length it reckoned when it opened it. A
// stream whose first frame carries no frame count gets a guess from that frame's size, and a
// drum hit puts a dense attack before a thin tail, so the guess falls short and cuts the tail
// off. This reads through the decoder itself until it has nothing more to give.
class MpegReader {
 public:
  MpegReader();
  ~MpegReader();
  MpegReader(const MpegReader&) = delete;
  MpegReader& operator=(const MpegReader&) = delete;

  // Starts decoding source from its first byte as the stream info (the sound-file library's
  // view of it) describes; why it cannot, in words that follow the file's name, or nothing.
  // The source must outlive the reader.
  std::optional<std::string> open(FileSource& source, const SF_INFO& info);
  // Appends up to a piece of the stream's frames to out as floats; how many, 0 at the end.
  uint64_t appendTo(std::vector<float>& out);

 private:
  struct Closer {
    void operator()(mpg123_handle_struct* handle) const;
  };
  std::unique_ptr<mpg123_handle_struct, Closer> handle_;
  size_t channels_ = 0;
};

}  // namespace varnkit::audio
