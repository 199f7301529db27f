#pragma once
// Making folders and copying files. User-interface thread.

#include <string>

#include "platform/files/Status.h"

namespace varnkit::files {

// Creates the folder path. Fails when it exists already or cannot be made (its parent must
// exist).
Status MakeFolder(const std::string& path);

// Copies the regular file source to the full path target, replacing a file of that name. Fails,
// leaving both untouched, when the source is missing or not a regular file, or when target is
// the source itself (under any name: the same device and inode). The copy goes to a temporary
// file beside target that is then renamed over it, so a failed copy never leaves half a file.
Status CopyFile(const std::string& source, const std::string& target);

// Flushes the file path to the disk.
Status FlushFile(const std::string& path);

// Puts the finished file written at temp in the place of target: flushes it to the disk, then
// renames it over target, so that target is always either the old or the whole new file.
Status CommitFile(const std::string& temp, const std::string& target);

}  // namespace varnkit::files
