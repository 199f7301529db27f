// Makes the kit "default" in a program folder: nine synthesised drums saved through the kit
// code, so a new installation has something to play at once.
//
//   varnkit-starter-kit <program folder>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/StarterKitMaker.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <program folder>\n", argv[0]);
    return 2;
  }
  std::string why;
  if (varnkit::tools::MakeStarterKit(std::filesystem::absolute(argv[1]), why)) return 0;
  std::fprintf(stderr, "%s\n", why.c_str());
  return 1;
}
