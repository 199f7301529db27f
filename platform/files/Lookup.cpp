#include "platform/files/Lookup.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace varnkit::files {
namespace {

namespace fs = std::filesystem;

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// "*" matches any run of characters, "?" exactly one. On a mismatch after a "*", that "*" takes
// one character more and matching goes on from there, which finds every match without recursion.
bool wildcardMatch(std::string_view name, std::string_view pattern) {
  size_t n = 0, p = 0, starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool sameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

bool admitted(const fs::file_status& st, Admit admit) {
  return fs::is_regular_file(st) || (admit == Admit::FilesAndFolders && fs::is_directory(st));
}

bool hidden(std::string_view name) {
  return name.empty() || name.front() == '.';
}

}  // namespace

std::string DirLookup::first(std::string_view pattern, Admit admit) {
  matches_.clear();
  next_ = 0;
  problem_.clear();
  const size_t slash = pattern.rfind('/');
  const std::string_view name =
      slash == std::string_view::npos ? pattern : pattern.substr(slash + 1);
  const fs::path folder = slash == std::string_view::npos ? fs::path(".")
                          : slash == 0                    ? fs::path("/")
                                                          : fs::path(pattern.substr(0, slash));
  if (name.empty()) {
    problem_ = "\"" + std::string(pattern) + "\" names no file";
    return "";
  }
  std::error_code ec;
  if (name.find_first_of("*?") == std::string_view::npos) {
    if (!hidden(name) && admitted(fs::status(folder / name, ec), admit)) {
      matches_.emplace_back(name);
    }
    return next();
  }
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    std::error_code statEc;
    if (!hidden(entry) && wildcardMatch(entry, name) && admitted(it->status(statEc), admit)) {
      matches_.push_back(entry);
    }
  }
  if (ec) problem_ = "cannot read the folder " + folder.string() + ": " + ec.message();
  std::sort(matches_.begin(), matches_.end());
  return next();
}

std::string DirLookup::next() {
  return next_ < matches_.size() ? matches_[next_++] : std::string();
}

bool FileExists(const std::string& path) {
  // The system would read a name with a zero byte only up to it: "a.wav\0x" is no a.wav.
  if (path.empty() || path.find('\0') != std::string::npos) return false;
  std::error_code ec;
  return fs::is_regular_file(fs::path(path), ec);
}

std::vector<std::string> FilesIgnoringCase(const std::string& folder, const std::string& name) {
  std::vector<std::string> found;
  if (name.empty() || name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
    return found;
  std::error_code ec;
  for (fs::directory_iterator it(folder.empty() ? fs::path("/") : fs::path(folder), ec), end;
       !ec && it != end; it.increment(ec)) {
    const std::string entry = it->path().filename().string();
    std::error_code statEc;
    if (sameIgnoringCase(entry, name) && fs::is_regular_file(it->status(statEc)))
      found.push_back(entry);
  }
  std::sort(found.begin(), found.end(), [&](const std::string& a, const std::string& b) {
    return (a == name) != (b == name) ? a == name : a < b;
  });
  return found;
}

std::string FileIgnoringCase(const std::string& folder, const std::string& name) {
  if (name.find('/') != std::string::npos) return "";
  if (FileExists(folder + "/" + name)) return name;
  const auto found = FilesIgnoringCase(folder, name);
  return found.empty() ? "" : found.front();
}

bool ListOrder(const std::string& a, const std::string& b) {
  const auto byLetters = std::lexicographical_compare(
      a.begin(), a.end(), b.begin(), b.end(),
      [](char x, char y) { return uint8_t(lower(x)) < uint8_t(lower(y)); });
  if (byLetters) return true;
  if (sameIgnoringCase(a, b)) return a < b;
  return false;
}

namespace {
DirLookup& processLookup() {
  static DirLookup lookup;
  return lookup;
}
}  // namespace

std::string Dir(std::string_view pattern, Admit admit) {
  return processLookup().first(pattern, admit);
}

std::string Dir() {
  return processLookup().next();
}

std::string LowerEnding(const std::string& file) {
  std::string ending = fs::path(file).extension().string();
  for (char& c : ending) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ending;
}

}  // namespace varnkit::files
