#pragma once
// A MIDI file played through a kit by the engine, offline, into sound files: one stereo mix,
// or one stereo file for each pad. Files are written under a temporary name beside the
// output and take their own name only once complete, so a render that fails or is stopped
// leaves nothing that looks finished.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varnkit::render {

enum class SampleFormat { Pcm16, Pcm24, Float };

struct RenderJob {
  std::filesystem::path kit;     // a VarnKit kit file, a Hydrogen kit or an SFZ file
  std::filesystem::path midi;    // a Standard MIDI File
  std::filesystem::path output;  // ends in .wav or .flac, in any letter case
  uint32_t rate = 44100;
  SampleFormat format = SampleFormat::Pcm24;
  bool perPad = false;                  // output-<pad>-<name>.wav for each pad with a sample
  std::optional<double> lengthSeconds;  // unset: until the last sound has died away
  std::optional<uint8_t> channel;       // 1..16; unset: notes of every channel
};

struct RenderResult {
  std::string error;               // empty: every file was written
  std::vector<std::string> notes;  // what the kit's load made fit or left out
  std::vector<std::filesystem::path> written;
  uint64_t frames = 0;
  std::size_t notesPlayed = 0;
  bool ok() const { return error.empty(); }
};

// The longest render made: a longer one is refused before anything is written.
inline constexpr double kMostSeconds = 3600;

// Renders the job. progress, when given, is told the share done (0..1) now and then; cancel,
// when given and set, stops the render with nothing left behind.
RenderResult Render(const RenderJob& job, const std::function<void(double)>& progress = {},
                    const std::atomic<bool>* cancel = nullptr);

// The files a job writes: the output itself, or one a pad.
std::filesystem::path PadFile(const std::filesystem::path& output, std::size_t pad,
                              const std::string& name);

}  // namespace varnkit::render
