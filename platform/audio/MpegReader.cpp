#include "platform/audio/MpegReader.h"

#include <mpg123.h>

#include "platform/audio/FileSource.h"

namespace varnkit::audio {
namespace {

constexpr size_t kPieceFrames = 65536;

mpg123_ssize_t readSource(void* source, void* to, size_t bytes) {
  return mpg123_ssize_t(static_cast<FileSource*>(source)->read(static_cast<uint8_t*>(to), bytes));
}

off_t seekSource(void* source, off_t offset, int whence) {
  return off_t(static_cast<FileSource*>(source)->seek(offset, whence));
}

// Older versions of the decoder need this once before any use; later ones ignore it.
bool decoderReady() {
  static const bool ready = mpg123_init() == MPG123_OK;
  return ready;
}

}  // namespace

void MpegReader::Closer::operator()(mpg123_handle_struct* handle) const {
  mpg123_close(handle);
  mpg123_delete(handle);
}

MpegReader::MpegReader() = default;
MpegReader::~MpegReader() = default;

std::optional<std::string> MpegReader::open(FileSource& source, const SF_INFO& info) {
  int error = MPG123_OK;
  if (decoderReady()) handle_.reset(mpg123_new(nullptr, &error));
  if (!handle_) return std::string("cannot be decoded: ") + mpg123_plain_strerror(error);
  mpg123_handle* h = handle_.get();
  channels_ = size_t(info.channels);
  // Only the stream's own rate and channels, as floats: a stream that changes either midway is
  // then converted by the decoder rather than ended.
  const int layout = info.channels == 1 ? MPG123_MONO : MPG123_STEREO;
  const bool set = mpg123_param(h, MPG123_ADD_FLAGS, MPG123_QUIET, 0) == MPG123_OK &&
                   mpg123_format_none(h) == MPG123_OK &&
                   mpg123_format(h, info.samplerate, layout, MPG123_ENC_FLOAT_32) == MPG123_OK &&
                   mpg123_replace_reader_handle(h, readSource, seekSource, nullptr) == MPG123_OK;
  if (!set || source.seek(0, SEEK_SET) != 0 || mpg123_open_handle(h, &source) != MPG123_OK)
    return std::string("cannot be decoded: ") + mpg123_strerror(h);
  long rate = 0;
  int channels = 0, encoding = 0;
  if (mpg123_getformat(h, &rate, &channels, &encoding) != MPG123_OK || rate != info.samplerate ||
      channels != info.channels || encoding != MPG123_ENC_FLOAT_32)
    return std::string("is an MPEG stream that cannot be decoded as it announces");
  return std::nullopt;
}

uint64_t MpegReader::appendTo(std::vector<float>& out) {
  const size_t at = out.size();
  out.resize(at + kPieceFrames * channels_);
  size_t bytes = 0;
  int result = MPG123_OK;
  // The news of a change in the stream comes without data; the data follows in the next read.
  do {
    result = mpg123_read(handle_.get(), out.data() + at, kPieceFrames * channels_ * sizeof(float),
                         &bytes);
  } while (result == MPG123_NEW_FORMAT && bytes == 0);
  const size_t frames = bytes / (channels_ * sizeof(float));
  out.resize(at + frames * channels_);
  return frames;
}

}  // namespace varnkit::audio
