#pragma once
// New files for one folder, copied aside first and then put in place together, so that the
// folder holds either all of its old files or all of the new ones. User-interface thread.

#include <string>
#include <vector>

#include "platform/files/Status.h"

namespace varnkit::files {

class FolderUpdate {
 public:
  // An update of folder, which must exist; nothing is touched before stage().
  explicit FolderUpdate(std::string folder);
  // Puts back what a commit() replaced unless finish() was called, and removes the staging.
  ~FolderUpdate();
  FolderUpdate(const FolderUpdate&) = delete;
  FolderUpdate& operator=(const FolderUpdate&) = delete;

  // Copies the regular file source, flushed to the disk, as the future folder/name. Fails on a
  // source that cannot be read whole and on a name that is a folder there; the folder itself
  // stays as it was.
  Status stage(const std::string& source, const std::string& name);
  // True when name was staged already.
  bool staged(const std::string& name) const;
  // Moves every staged file into the folder, keeping the files it replaces aside. On a failure
  // the folder is put back as it was.
  Status commit();
  // Puts the files commit() replaced back in their places.
  void rollBack();
  // Drops the replaced files for good and flushes the folder.
  void finish();

 private:
  Status makeStaging();
  std::string incoming(const std::string& name) const { return staging_ + "/new/" + name; }
  std::string replaced(const std::string& name) const { return staging_ + "/old/" + name; }

  struct Entry {
    std::string name;
    bool hadOld = false;
    bool inPlace = false;
  };
  std::string folder_;
  std::string staging_;  // a hidden folder inside folder_, so that renames stay on one disk
  std::vector<Entry> entries_;
  bool finished_ = false;
};

}  // namespace varnkit::files
