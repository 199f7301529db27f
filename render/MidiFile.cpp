#include "render/MidiFile.h"

#include <algorithm>
#include <fstream>
#include <optional>

namespace varnkit::render {
namespace {

// A note-on or a tempo change, at its tick; order keeps the file's order within a tick.
struct Timed {
  uint64_t tick;
  uint32_t track;
  uint32_t order;
  uint32_t tempo;  // microseconds a quarter note; 0: a note
  MidiNote note;
};

class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  std::size_t at() const { return at_; }
  std::size_t left() const { return bytes_.size() - at_; }
  bool has(std::size_t n) const { return left() >= n; }
  uint8_t byte() { return bytes_[at_++]; }
  uint8_t peek() const { return bytes_[at_]; }
  uint32_t be(int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | byte();
    return v;
  }
  // A variable-length quantity of at most four bytes, as the format allows.
  std::optional<uint32_t> vlq() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
      if (!has(1)) return std::nullopt;
      const uint8_t b = byte();
      v = v << 7 | (b & 0x7F);
      if ((b & 0x80) == 0) return v;
    }
    return std::nullopt;
  }
  void skip(std::size_t n) { at_ += n; }

 private:
  std::span<const uint8_t> bytes_;
  std::size_t at_ = 0;
};

std::string where(uint32_t track, std::size_t offset) {
  return " (track " + std::to_string(track + 1) + ", byte " + std::to_string(offset) + ")";
}

// Reads one track's events into out; an error text, or empty.
std::string readTrack(std::span<const uint8_t> data, std::size_t base, uint32_t track,
                      std::vector<Timed>& out) {
  Reader r(data);
  uint64_t tick = 0;
  uint8_t status = 0;  // the running status; 0: none
  uint32_t order = 0;
  while (r.left() > 0) {
    const auto delta = r.vlq();
    if (!delta) return "a delta time runs past the end of its track" + where(track, base + r.at());
    tick += *delta;
    if (!r.has(1)) return "the track ends inside an event" + where(track, base + r.at());
    const std::size_t start = base + r.at();
    uint8_t first = r.peek();
    if (first == 0xFF) {
      r.skip(1);
      if (!r.has(1)) return "a meta event is cut short" + where(track, start);
      const uint8_t type = r.byte();
      const auto length = r.vlq();
      if (!length || !r.has(*length))
        return "a meta event's length runs past the end of its track" + where(track, start);
      if (type == 0x51 && *length == 3) {
        const uint32_t tempo = r.be(3);
        if (tempo > 0) out.push_back({tick, track, order++, tempo, {}});
      } else {
        r.skip(*length);
      }
      status = 0;
      if (type == 0x2F) return {};  // the end of the track: what follows it is not read
      continue;
    }
    if (first == 0xF0 || first == 0xF7) {
      r.skip(1);
      const auto length = r.vlq();
      if (!length || !r.has(*length))
        return "a system exclusive message's length runs past the end of its track" +
               where(track, start);
      r.skip(*length);
      status = 0;
      continue;
    }
    if (first >= 0xF0) return "a status byte no MIDI file holds" + where(track, start);
    if (first & 0x80) {
      status = first;
      r.skip(1);
    } else if (status == 0) {
      return "running status with no status before it" + where(track, start);
    }
    const uint8_t kind = status & 0xF0;
    const std::size_t dataBytes = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
    if (!r.has(dataBytes)) return "the track ends inside an event" + where(track, start);
    uint8_t d[2] = {r.byte(), dataBytes == 2 ? r.byte() : uint8_t(0)};
    if ((d[0] | d[1]) & 0x80) return "a data byte with its top bit set" + where(track, start);
    if (kind == 0x90 && d[1] > 0)
      out.push_back({tick, track, order++, 0, {0, uint8_t(status & 0x0F), d[0], d[1]}});
  }
  return {};
}

// The frame of a time, given as a count of microseconds times `per` (rounded to the nearest).
uint64_t frameOf(unsigned __int128 microsTimesPer, uint64_t per, uint32_t rate) {
  const unsigned __int128 divisor = (unsigned __int128)per * 1000000u;
  const unsigned __int128 frame = (microsTimesPer * rate + divisor / 2) / divisor;
  // A time past every frame stays past them all, and the notes in order, rather than wrap
  // round to a frame near the start: a file within the size limit can say such a time.
  return frame > UINT64_MAX ? UINT64_MAX : uint64_t(frame);
}

}  // namespace

MidiRead ReadMidi(std::span<const uint8_t> bytes, uint32_t sampleRate) {
  MidiRead read;
  Reader r(bytes);
  if (!r.has(14) || r.be(4) != 0x4D546864)  // "MThd"
    return {{}, "not a MIDI file: it does not begin with a MIDI header"};
  const uint32_t headerLength = r.be(4);
  if (headerLength < 6 || !r.has(headerLength)) return {{}, "the MIDI header is cut short"};
  const uint32_t format = r.be(2);
  const uint32_t tracks = r.be(2);
  const uint32_t division = r.be(2);
  r.skip(headerLength - 6);
  if (format > 1)
    return {{},
            "a MIDI file of format " + std::to_string(format) +
                " (independent patterns) has no one time line to render"};
  if (format == 0 && tracks != 1)
    return {
        {},
        "a MIDI file of format 0 must hold one track, this one names " + std::to_string(tracks)};
  const bool smpte = (division & 0x8000) != 0;
  if (division == 0 || (smpte && (division & 0xFF) == 0))
    return {{}, "the MIDI header gives no time division"};
  std::vector<Timed> timed;
  for (uint32_t t = 0; t < tracks;) {
    if (!r.has(8))
      return {{},
              "the file is cut short: it names " + std::to_string(tracks) + " tracks and holds " +
                  std::to_string(t)};
    const uint32_t id = r.be(4);
    const uint32_t length = r.be(4);
    if (!r.has(length))
      return {{},
              "track " + std::to_string(t + 1) +
                  " is cut short: its length runs past the "
                  "end of the file"};
    const std::size_t base = r.at();
    r.skip(length);
    if (id != 0x4D54726B) continue;  // "MTrk"; chunks of other kinds are stepped over
    std::string error = readTrack(bytes.subspan(base, length), base, t, timed);
    if (!error.empty()) return {{}, error};
    ++t;
  }
  std::stable_sort(timed.begin(), timed.end(), [](const Timed& a, const Timed& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.track < b.track;
  });
  if (smpte) {
    // Frames a second (29 is 29.97, drop-frame) times ticks a frame; the tempo plays no part.
    const int fps = 256 - int(division >> 8);
    if (fps != 24 && fps != 25 && fps != 29 && fps != 30)
      return {{},
              "the MIDI header gives " + std::to_string(fps) +
                  " SMPTE frames a second; only 24, 25, 29.97 and 30 exist"};
    const uint64_t perFrame = division & 0xFF;
    const bool drop = fps == 29;
    for (const Timed& e : timed) {
      if (e.tempo != 0) continue;
      MidiNote n = e.note;
      // ticks / (fps * perFrame) seconds; 29.97 is 30000/1001.
      const unsigned __int128 micros = (unsigned __int128)e.tick * 1000000u * (drop ? 1001u : 1u);
      const uint64_t per = perFrame * uint64_t(drop ? 30000 : fps);
      n.frame = frameOf(micros, per, sampleRate);
      read.notes.push_back(n);
    }
    return read;
  }
  const uint64_t ppq = division;
  uint32_t tempo = 500000;  // 120 beats a minute until the file says otherwise
  uint64_t lastTick = 0;
  unsigned __int128 elapsed = 0;  // microseconds times ppq, up to lastTick
  for (const Timed& e : timed) {
    elapsed += (unsigned __int128)(e.tick - lastTick) * tempo;
    lastTick = e.tick;
    if (e.tempo != 0) {
      tempo = e.tempo;
      continue;
    }
    MidiNote n = e.note;
    n.frame = frameOf(elapsed, ppq, sampleRate);
    read.notes.push_back(n);
  }
  return read;
}

MidiRead LoadMidiFile(const std::filesystem::path& path, uint32_t sampleRate) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) return {{}, "the MIDI file " + path.string() + " cannot be read: " + ec.message()};
  if (size > kMostMidiFileBytes)
    return {{},
            "the MIDI file " + path.string() + " is " + std::to_string(size >> 20) +
                " MB; a MIDI file of more than " + std::to_string(kMostMidiFileBytes >> 20) +
                " MB is not read"};
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes(size);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(size)))
    return {{}, "the MIDI file " + path.string() + " cannot be read"};
  MidiRead read = ReadMidi(bytes, sampleRate);
  if (!read.ok()) read.error = path.string() + ": " + read.error;
  return read;
}

}  // namespace varnkit::render
