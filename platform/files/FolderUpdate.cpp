#include "platform/files/FolderUpdate.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/files/Fd.h"
#include "platform/files/FileOps.h"

namespace varnkit::files {
namespace {

Status failure(const std::string& what, const std::string& path) {
  return Status::failed(what + " " + path + ": " + std::strerror(errno));
}

void flushFolder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

}  // namespace

FolderUpdate::FolderUpdate(std::string folder) : folder_(std::move(folder)) {}

FolderUpdate::~FolderUpdate() {
  if (!finished_) rollBack();
  if (staging_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(staging_, ec);
}

Status FolderUpdate::makeStaging() {
  if (!staging_.empty()) return {};
  std::string pattern = folder_ + "/.saving-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) return failure("cannot make a folder like", pattern);
  staging_ = pattern;
  if (::mkdir((staging_ + "/new").c_str(), 0700) != 0 ||
      ::mkdir((staging_ + "/old").c_str(), 0700) != 0)
    return failure("cannot make a folder in", staging_);
  return {};
}

Status FolderUpdate::stage(const std::string& source, const std::string& name) {
  struct stat st {};
  if (::lstat((folder_ + "/" + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return Status::failed("cannot replace the folder " + folder_ + "/" + name);
  if (Status made = makeStaging(); !made.ok) return made;
  if (Status copied = CopyFile(source, incoming(name)); !copied.ok) return copied;
  if (Status flushed = FlushFile(incoming(name)); !flushed.ok) return flushed;
  entries_.push_back({name});
  return {};
}

bool FolderUpdate::staged(const std::string& name) const {
  return std::any_of(entries_.begin(), entries_.end(),
                     [&](const Entry& e) { return e.name == name; });
}

Status FolderUpdate::commit() {
  flushFolder(staging_ + "/new");
  for (Entry& e : entries_) {
    const std::string target = folder_ + "/" + e.name;
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) {
      if (::rename(target.c_str(), replaced(e.name).c_str()) != 0) {
        Status status = failure("cannot move aside", target);
        rollBack();
        return status;
      }
      e.hadOld = true;
    }
    if (::rename(incoming(e.name).c_str(), target.c_str()) != 0) {
      Status status = failure("cannot put in place", target);
      rollBack();
      return status;
    }
    e.inPlace = true;
  }
  flushFolder(folder_);
  return {};
}

void FolderUpdate::rollBack() {
  for (auto e = entries_.rbegin(); e != entries_.rend(); ++e) {
    const std::string target = folder_ + "/" + e->name;
    if (e->inPlace) ::rename(target.c_str(), incoming(e->name).c_str());
    if (e->hadOld) ::rename(replaced(e->name).c_str(), target.c_str());
    e->inPlace = e->hadOld = false;
  }
  if (!entries_.empty()) flushFolder(folder_);
}

void FolderUpdate::finish() {
  finished_ = true;
  flushFolder(folder_);
}

}  // namespace varnkit::files
