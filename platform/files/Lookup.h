#pragma once
// Looking up files by a path or a pattern, one name per call. Only ordinary files are found:
// regular files (or links to them) whose names do not start with "."; folders, hidden files
// and special files (sockets, devices, pipes) are left out. Patterns may hold "*" and "?" in
// their last part and match without regard to ASCII letter case ("*.wav" finds "KICK.WAV");
// a name without wildcards must exist as written. Matches come in byte order of their names.

#include <string>
#include <string_view>
#include <vector>

namespace varnkit::files {

enum class Admit {
  Files,            // ordinary files only
  FilesAndFolders,  // also folders whose names do not start with "."
};

class DirLookup {
 public:
  // Starts a lookup of pattern ("/kits/*.txt", "/app/skin", "a.wav" in the current folder)
  // and returns the first match's name without its folder, or "" when nothing matches.
  std::string first(std::string_view pattern, Admit admit = Admit::Files);
  // The next match of the last pattern, "" when none is left.
  std::string next();
  // Why the last lookup found nothing when that was not for want of matches (a folder that
  // cannot be read, a pattern without a name); empty otherwise.
  const std::string& problem() const { return problem_; }

 private:
  std::vector<std::string> matches_;
  size_t next_ = 0;
  std::string problem_;
};

// True when path names a regular file, or a link to one, exactly as written: no wildcards, and
// names that start with "." count too. For asking whether a kit or a sample is there.
bool FileExists(const std::string& path);
// The name of the regular file in folder whose name equals name without regard to ASCII
// letter case, the exact spelling first; "" when there is none. Files copied from a system
// that ignores letter case are found this way.
std::string FileIgnoringCase(const std::string& folder, const std::string& name);
// Every such file, the exact spelling first, then in byte order.
std::vector<std::string> FilesIgnoringCase(const std::string& folder, const std::string& name);
// Orders names without regard to ASCII letter case, then by their bytes, as people read lists.
bool ListOrder(const std::string& a, const std::string& b);
// The ending of the file's name, dot included, in lower case: "Rock.TXT" gives ".txt".
std::string LowerEnding(const std::string& file);

// The process's lookup: Dir(pattern) starts one, Dir() continues it. User-interface thread.
std::string Dir(std::string_view pattern, Admit admit = Admit::Files);
std::string Dir();

}  // namespace varnkit::files
