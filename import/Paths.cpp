#include "import/Paths.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace varnkit::import {

namespace fs = std::filesystem;

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The entry of folder named name in another letter case, the first by name; empty when none.
fs::path EntryIgnoringCase(const fs::path& folder, const std::string& name) {
  std::error_code ec;
  fs::path best;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path candidate = it->path().filename();
    if (SameIgnoringCase(candidate.string(), name) && (best.empty() || candidate < best))
      best = candidate;
  }
  return best;
}

// Kits made on systems that ignore letter case often name "Kick.WAV" for "kick.wav".
fs::path ResolveCase(const fs::path& folder, const fs::path& relative) {
  fs::path at = folder;
  std::error_code ec;
  for (const fs::path& part : relative) {
    if (fs::exists(fs::symlink_status(at / part, ec))) {
      at /= part;
      continue;
    }
    const fs::path other = EntryIgnoringCase(at, part.string());
    at /= other.empty() ? part : other;
  }
  return at;
}

}  // namespace

bool IsInside(const fs::path& folder, const fs::path& path) {
  auto p = path.begin();
  for (const fs::path& part : folder) {
    if (part.empty()) continue;  // the trailing "" of a folder written with a final "/"
    if (p == path.end() || *p != part) return false;
    ++p;
  }
  return true;
}

fs::path CanonicalFolder(const fs::path& folder) {
  std::error_code ec;
  fs::path canonical = fs::canonical(fs::absolute(folder, ec), ec);
  if (ec || !fs::is_directory(canonical, ec)) return {};
  return canonical;
}

FoundSample FindInKit(const fs::path& folder, const fs::path& relative) {
  const fs::path normal = relative.lexically_normal();
  if (normal.empty() || normal.is_absolute()) return {Place::Outside, {}};
  std::error_code ec;
  const fs::path found = fs::weakly_canonical(ResolveCase(folder, normal), ec);
  if (ec) return {Place::Missing, {}};
  if (!IsInside(folder, found)) return {Place::Outside, {}};
  if (!fs::is_regular_file(found, ec)) return {Place::Missing, {}};
  return {Place::Inside, found};
}

std::string ForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

}  // namespace varnkit::import
