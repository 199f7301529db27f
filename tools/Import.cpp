// varnkit-import: brings another sampler's kit in as a VarnKit kit.
//
//   varnkit-import SOURCE [--name NAME] [--into FOLDER] [--force]
//
// SOURCE is a Hydrogen drumkit (its drumkit.xml, its folder or an .h2drumkit archive) or an
// .sfz file. FOLDER defaults to the kit folder VarnKit itself uses. Exit status: 0 imported,
// 1 the source could not be imported, 2 bad arguments, 3 the kit exists and --force was not
// given.

#include <malloc.h>

#include <cstdio>
#include <string>
#include <vector>

#include "import/KitImport.h"
#include "platform/Error.h"
#include "kit/Funk.h"
#include "platform/files/UserFolders.h"

namespace {

using namespace varnkit;

enum Exit { kImported = 0, kFailed = 1, kBadArguments = 2, kExists = 3 };

struct Options {
  import::ImportRequest request;
  bool force = false;
  bool intoGiven = false;
};

int usage(const std::string& why) {
  std::fprintf(stderr,
               "varnkit-import: %s\n"
               "usage: varnkit-import SOURCE [--name NAME] [--into FOLDER] [--force]\n",
               why.c_str());
  return kBadArguments;
}

// The error, or "" when args were good.
std::string parse(const std::vector<std::string>& args, Options& o) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--force") {
      o.force = true;
    } else if (a == "--name" || a == "--into") {
      if (i + 1 == args.size() || args[i + 1].empty()) return a + " wants a value";
      if (a == "--name") o.request.name = args[++i];
      if (a == "--into") o.request.into = args[++i];
      o.intoGiven |= a == "--into";
    } else if (a.starts_with("--") || !o.request.source.empty()) {
      return "unexpected \"" + a + "\"";
    } else {
      o.request.source = a;
    }
  }
  return o.request.source.empty() ? "no SOURCE given" : "";
}

// Beside an installed varnkit, or beside the program in a build tree (tools/ next to app/).
std::string defaultKitFolder() {
  const std::string own = AppFolder();
  const std::string folder = own.substr(own.rfind('/') + 1);
  if (folder == "tools") return own.substr(0, own.rfind('/')) + "/app";
  return files::KitFolderFor(own);
}

}  // namespace

int main(int argc, char** argv) {
  // Every sample is decoded whole to check it; reusing freed memory spares fresh pages.
  mallopt(M_MMAP_THRESHOLD, 256 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
  Options o;
  if (std::string why = parse({argv + 1, argv + argc}, o); !why.empty()) return usage(why);
  try {
    if (!o.intoGiven) o.request.into = defaultKitFolder();
  } catch (const Error& e) {
    return usage(e.text());
  }
  bool refused = false;
  const auto outcome = import::ImportKit(o.request, [&](const std::string&) {
    refused = !o.force;
    return o.force;
  });
  if (!outcome.ok) {
    std::fprintf(stderr, "varnkit-import: %s%s\n", outcome.error.c_str(),
                 refused ? " Give --force to replace it." : "");
    return refused ? kExists : kFailed;
  }
  std::printf("Imported into %s\n%s", o.request.into.c_str(), outcome.summary.c_str());
  return kImported;
}
