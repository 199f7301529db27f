// libFuzzer entry: any bytes as a kit file must load or fail with the kit's own error, and
// leave a consistent kit.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "kit/Error.h"
#include "tests/support/KitConsistency.h"

namespace {

varnkit::testing::KitFixture& fixture() {
  static auto* f = [] {
    auto* made = new varnkit::testing::KitFixture;
    made->sample("a.wav", 0.1f, 10);
    made->sample("b.wav", 0.2f, 10);
    return made;
  }();
  return *f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& f = fixture();
  const std::string file = f.app.file("fuzz.txt");
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), std::streamsize(size));
  try {
    f.kit().ReadKit(file);
  } catch (const varnkit::Error&) {
  }
  const std::string problem = varnkit::testing::kitInconsistency(f.state, f.pads);
  if (!problem.empty()) {
    std::fprintf(stderr, "inconsistent kit: %s\n", problem.c_str());
    std::abort();
  }
  f.audio.device->render(64);  // lets the mixer hand back the buffers the load let go
  return 0;
}
