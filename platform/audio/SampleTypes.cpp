#include "platform/audio/SampleTypes.h"

#include <sndfile.h>

#include <algorithm>
#include <set>

namespace varnkit::audio {
namespace {

// The library gives one ending per type; files of these types often end otherwise. Each applies
// only when the library was built to read what it names (0: any encoding of the type).
struct Alias {
  int major, subtype;
  const char* extension;
};
constexpr Alias kAliases[] = {
    {SF_FORMAT_AIFF, 0, "aif"},
    {SF_FORMAT_AIFF, 0, "aifc"},
    {SF_FORMAT_OGG, 0, "ogg"},
    {SF_FORMAT_OGG, 0, "oga"},
    {SF_FORMAT_OGG, SF_FORMAT_OPUS, "opus"},
    {SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_III, "mp3"},
    {SF_FORMAT_MPEG, SF_FORMAT_MPEG_LAYER_II, "mp2"},
};

std::vector<SF_FORMAT_INFO> libraryList(int countCommand, int itemCommand) {
  int count = 0;
  sf_command(nullptr, countCommand, &count, sizeof count);
  std::vector<SF_FORMAT_INFO> items(size_t(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    items[size_t(i)].format = i;
    sf_command(nullptr, itemCommand, &items[size_t(i)], sizeof(SF_FORMAT_INFO));
  }
  return items;
}

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
  return out;
}

std::vector<std::string> readableExtensions() {
  std::set<int> formats;  // majors and subtypes: their values never overlap
  std::set<std::string> found;
  for (const SF_FORMAT_INFO& major :
       libraryList(SFC_GET_FORMAT_MAJOR_COUNT, SFC_GET_FORMAT_MAJOR)) {
    // A file without a header cannot be told from any other file, so it is never read as one.
    if (major.format == SF_FORMAT_RAW || !major.extension || !*major.extension) continue;
    formats.insert(major.format);
    found.insert(lowered(major.extension));
  }
  for (const SF_FORMAT_INFO& subtype :
       libraryList(SFC_GET_FORMAT_SUBTYPE_COUNT, SFC_GET_FORMAT_SUBTYPE))
    formats.insert(subtype.format);
  for (const Alias& a : kAliases) {
    if (formats.contains(a.major) && (a.subtype == 0 || formats.contains(a.subtype)))
      found.insert(a.extension);
  }
  return {found.begin(), found.end()};
}

}  // namespace

const std::vector<std::string>& sampleExtensions() {
  static const std::vector<std::string> extensions = readableExtensions();
  return extensions;
}

std::string samplePattern() {
  std::string pattern;
  for (const std::string& e : sampleExtensions()) pattern += (pattern.empty() ? "*." : ";*.") + e;
  return pattern;
}

size_t sampleExtensionLength(std::string_view name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0) return 0;
  const auto& known = sampleExtensions();
  const bool readable =
      std::binary_search(known.begin(), known.end(), lowered(name.substr(dot + 1)));
  return readable ? name.size() - dot : 0;
}

}  // namespace varnkit::audio
