// varnkit-render KIT MIDIFILE OUTPUT: a MIDI file played through a kit into a sound file.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "render/Render.h"

namespace {

using varnkit::render::RenderJob;
using varnkit::render::SampleFormat;

std::atomic<bool> stopRequested{false};

void onSignal(int) {
  stopRequested.store(true);
}

constexpr const char* kUsage =
    "usage: varnkit-render [options] KIT MIDIFILE OUTPUT\n"
    "Plays MIDIFILE through KIT (a VarnKit kit file, a Hydrogen kit or an SFZ file) into\n"
    "OUTPUT, a WAV file, or FLAC when it ends in .flac.\n"
    "  --rate HZ        sample rate (default 44100)\n"
    "  --format F       16, 24 or float (default 24; FLAC: 16 or 24)\n"
    "  --per-pad        one stereo file per pad, OUTPUT-<pad>-<name>.wav, instead of the mix\n"
    "  --tail           render until the last sound has died away (the default)\n"
    "  --length SECONDS render exactly this long\n"
    "  --channel N      only notes of MIDI channel N (1-16; default: all)\n"
    "  --quiet          no progress\n";

int usage(const std::string& why) {
  std::fprintf(stderr, "varnkit-render: %s\n%s", why.c_str(), kUsage);
  return 2;
}

bool number(const char* text, double lo, double hi, double& out) {
  char* end = nullptr;
  out = std::strtod(text, &end);
  return end != text && *end == '\0' && out >= lo && out <= hi;
}

// Shows the share done on a terminal, once the render has taken a second.
class Progress {
 public:
  explicit Progress(bool quiet) : show_(!quiet && isatty(STDERR_FILENO) == 1) {}
  ~Progress() {
    if (shown_) std::fputc('\n', stderr);
  }
  void operator()(double share) {
    if (!show_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - start_ < std::chrono::seconds(1) || now - last_ < std::chrono::milliseconds(100))
      return;
    last_ = now;
    shown_ = true;
    std::fprintf(stderr, "\rvarnkit-render: %3d%%", int(share * 100));
    std::fflush(stderr);
  }

 private:
  bool show_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point last_{};
};

}  // namespace

int main(int argc, char** argv) {
  RenderJob job;
  bool quiet = false;
  std::vector<const char*> files;
  for (int i = 1; i < argc; ++i) {
    const std::string_view a = argv[i];
    const bool hasValue = i + 1 < argc;
    double v = 0;
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--rate") {
      if (!hasValue || !number(argv[++i], 8000, 192000, v) || v != std::floor(v))
        return usage("--rate takes a whole number of hertz from 8000 to 192000");
      job.rate = uint32_t(v);
    } else if (a == "--format") {
      const std::string_view f = hasValue ? argv[++i] : "";
      if (f == "16")
        job.format = SampleFormat::Pcm16;
      else if (f == "24")
        job.format = SampleFormat::Pcm24;
      else if (f == "float")
        job.format = SampleFormat::Float;
      else
        return usage("--format takes 16, 24 or float");
    } else if (a == "--per-pad") {
      job.perPad = true;
    } else if (a == "--tail") {
      job.lengthSeconds.reset();
    } else if (a == "--length") {
      if (!hasValue || !number(argv[++i], 0, varnkit::render::kMostSeconds, v))
        return usage("--length takes seconds from 0 to 3600");
      job.lengthSeconds = v;
    } else if (a == "--channel") {
      if (!hasValue || !number(argv[++i], 1, 16, v) || v != std::floor(v))
        return usage("--channel takes a MIDI channel from 1 to 16");
      job.channel = uint8_t(v);
    } else if (a == "--quiet") {
      quiet = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return usage("unknown option " + std::string(a));
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.size() != 3) return usage("KIT, MIDIFILE and OUTPUT are needed");
  job.kit = files[0];
  job.midi = files[1];
  job.output = files[2];

  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  varnkit::render::RenderResult result;
  {
    Progress progress(quiet);
    result = varnkit::render::Render(
        job, [&](double share) { progress(share); }, &stopRequested);
  }
  for (const std::string& note : result.notes)
    std::fprintf(stderr, "varnkit-render: %s\n", note.c_str());
  if (!result.ok()) {
    std::fprintf(stderr, "varnkit-render: %s\n", result.error.c_str());
    return stopRequested.load() ? 130 : 1;
  }
  if (!quiet)
    for (const auto& file : result.written)
      std::fprintf(stderr, "varnkit-render: %s: %zu notes, %.3f s\n", file.c_str(),
                   result.notesPlayed, double(result.frames) / job.rate);
  return 0;
}
