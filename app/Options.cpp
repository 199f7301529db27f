#include "app/Options.h"

#include <charconv>

namespace varnkit::app {
namespace {

constexpr unsigned kFewestFrames = 16;
constexpr unsigned kMostFrames = 8192;

std::optional<audio::SoundApi> soundApi(const std::string& name) {
  if (name == "jack") return audio::SoundApi::Jack;
  if (name == "pipewire") return audio::SoundApi::PipeWire;
  if (name == "pulse") return audio::SoundApi::Pulse;
  if (name == "alsa") return audio::SoundApi::Alsa;
  return std::nullopt;
}

std::optional<unsigned> frames(const std::string& text) {
  unsigned value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  if (value < kFewestFrames || value > kMostFrames) return std::nullopt;
  return value;
}

// Applies option name with value to options; the error, or "" when it fits.
std::string apply(const std::string& name, const std::string& value, Options& options) {
  if (name == "--kit") {
    // A kit is a name in the kit folder; a path would save beside other folders.
    if (value.empty() || value.find('/') != std::string::npos)
      return "--kit wants the name of a kit in the kit folder, not \"" + value + "\"";
    options.kit = value;
  } else if (name == "--audio") {
    options.audio = soundApi(value);
    if (!options.audio) return "--audio wants jack, pipewire, pulse or alsa, not \"" + value + "\"";
  } else if (name == "--buffer") {
    const auto n = frames(value);
    if (!n)
      return "--buffer wants a number of frames from " + std::to_string(kFewestFrames) + " to " +
             std::to_string(kMostFrames) + ", not \"" + value + "\"";
    options.buffer = *n;
  } else if (name == "--midi") {
    if (value.empty()) return "--midi wants a part of a MIDI input's name";
    options.midi = value;
  }
  return "";
}

bool takesValue(const std::string& name) {
  return name == "--kit" || name == "--audio" || name == "--buffer" || name == "--midi";
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (name == "--help" || name == "-h" || name == "--version") {
      if (value) return {{}, name + " takes no value"};
      (name == "--version" ? parsed.options.version : parsed.options.help) = true;
      continue;
    }
    if (!takesValue(name)) return {{}, "unknown option \"" + args[i] + "\""};
    if (!value) {
      if (i + 1 == args.size()) return {{}, name + " wants a value"};
      value = args[++i];
    }
    if (std::string error = apply(name, *value, parsed.options); !error.empty()) return {{}, error};
  }
  return parsed;
}

std::string UsageText() {
  return "Usage: varnkit [OPTION]...\n"
         "A drum-pad sampler: nine pads played with the mouse, the keys Q W E R T Z U I O\n"
         "or a MIDI device.\n"
         "\n"
         "  --kit NAME         start with kit NAME instead of \"default\"\n"
         "  --audio jack|pipewire|pulse|alsa\n"
         "                     use only this sound back-end (otherwise the first that\n"
         "                     works: JACK, PipeWire, PulseAudio, ALSA)\n"
         "  --buffer FRAMES    frames per cycle asked of PipeWire (default 128), buffer\n"
         "                     size asked of PulseAudio or ALSA, 16 to 8192 (JACK uses\n"
         "                     its server's period)\n"
         "  --midi NAME        open the MIDI input whose name contains NAME\n"
         "  --help             show this text and stop\n"
         "  --version          show the version and stop\n"
         "\n"
         "Exit status: 0 when all went well, 1 when there was no sound device, 2 for a bad\n"
         "option.\n";
}

std::string VersionText() {
  return std::string("VarnKit ") + VARNKIT_VERSION + "\n";
}

}  // namespace varnkit::app
