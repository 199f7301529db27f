#pragma once
// The file operations the settings store is built on: reading the whole file, holding the
// store's folder locked while a write re-reads and replaces the file, and replacing a file so
// that a crash leaves either the old content or the new.

#include <filesystem>
#include <string>

#include "platform/profile/Status.h"

namespace varnkit::profile {

// A settings file is a few hundred bytes; anything this large is not one and is left alone.
inline constexpr size_t kMaxStoreBytes = size_t(1) << 20;

struct FileText {
  std::string text;
  bool exists = false;
  unsigned mode = 0644;  // permission bits to give the file's replacement
  Status status;
};

// The whole content of file; a missing file is empty and ok.
FileText readWhole(const std::filesystem::path& file);

// Replaces file with text: a temporary file in the same folder, flushed to disk, renamed over
// file, and the folder flushed too. On failure file is untouched and the temporary file gone.
Status replaceAtomically(const std::filesystem::path& file, const std::string& text, unsigned mode);

// Holds an exclusive lock on a folder for its lifetime, so that read-change-write cycles of
// several programs (or threads) on one store take turns.
class FolderLock {
 public:
  explicit FolderLock(const std::filesystem::path& folder);
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Whether the lock is held, and why not.
  const Status& status() const { return status_; }

 private:
  int fd_ = -1;
  Status status_;
};

}  // namespace varnkit::profile
