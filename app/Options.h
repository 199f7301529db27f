#pragma once
// The command line of varnkit.

#include <optional>
#include <string>
#include <vector>

#include "platform/audio/RtAudioOutput.h"

namespace varnkit::app {

struct Options {
  bool help = false;
  bool version = false;
  std::string kit = "default";           // the kit loaded at start
  std::optional<audio::SoundApi> audio;  // only this back-end; none: the first that works
  unsigned buffer = 0;                   // frames asked of PulseAudio or ALSA; 0: their default
  std::string midi;                      // part of the MIDI input's name; empty: the remembered one
};

struct ParsedOptions {
  Options options;
  std::string error;  // empty when the command line was good
};

// The options in args (without the program name).
ParsedOptions ParseOptions(const std::vector<std::string>& args);

// What --help prints.
std::string UsageText();

// What --version prints.
std::string VersionText();

}  // namespace varnkit::app
