#pragma once
// The note-ons of a Standard MIDI File (format 0 or 1, any number of tracks, tempo changes,
// ticks per quarter note or SMPTE time), each placed at the frame its time in the file gives
// at a sample rate. Everything else in the file is stepped over. A file that breaks the
// format's rules is refused with where and how, never half read.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace varnkit::render {

struct MidiNote {
  uint64_t frame = 0;
  uint8_t channel = 0;  // 0..15
  uint8_t key = 0;
  uint8_t velocity = 0;  // 1..127: a note-on of velocity 0 is a note off, and left out
};

struct MidiRead {
  std::vector<MidiNote> notes;  // in time order; notes of one frame in file order
  std::string error;            // empty when the file was read
  bool ok() const { return error.empty(); }
};

// A larger file is refused unread: no groove comes near it, and every note read is kept.
inline constexpr std::uintmax_t kMostMidiFileBytes = 16u << 20;

// Reads bytes as a MIDI file, timed at sampleRate frames a second.
MidiRead ReadMidi(std::span<const uint8_t> bytes, uint32_t sampleRate);
// Reads the file at path.
MidiRead LoadMidiFile(const std::filesystem::path& path, uint32_t sampleRate);

}  // namespace varnkit::render
