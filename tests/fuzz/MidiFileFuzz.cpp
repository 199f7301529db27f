// libFuzzer entry: any bytes as a MIDI file must read into notes or fail with a sentence, and
// the notes read must be what the renderer is promised: sounding note-ons, in time order.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "render/MidiFile.h"

namespace {

void fail(const char* what, const std::string& detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const varnkit::render::MidiRead read = varnkit::render::ReadMidi({data, size}, 44100);
  if (!read.ok()) {
    if (!read.notes.empty()) fail("notes beside an error", read.error);
    return 0;
  }
  // Each note-on takes three bytes at the least: a delta time and two data bytes.
  if (read.notes.size() > size / 3) fail("more notes than the bytes hold", std::to_string(size));
  for (std::size_t i = 0; i < read.notes.size(); ++i) {
    const varnkit::render::MidiNote& n = read.notes[i];
    if (n.channel > 15 || n.key > 127 || n.velocity == 0 || n.velocity > 127)
      fail("a note no file holds", std::to_string(i));
    if (i > 0 && n.frame < read.notes[i - 1].frame)
      fail("notes out of time order", std::to_string(i));
  }
  return 0;
}
