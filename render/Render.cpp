#include "render/Render.h"

#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>

#include "engine/Engine.h"
#include "kitload/EngineKit.h"
#include "platform/files/Lookup.h"
#include "render/MidiFile.h"

namespace varnkit::render {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kBlock = 4096;

// A sound file being written under a temporary name, removed unless committed.
class OutputFile {
 public:
  OutputFile(fs::path target, int format, uint32_t rate) : target_(std::move(target)) {
    temp_ = target_.parent_path() /
            ("." + target_.filename().string() + ".partial-" + std::to_string(getpid()));
    SF_INFO info{};
    info.samplerate = int(rate);
    info.channels = 2;
    info.format = format;
    file_ = sf_open(temp_.c_str(), SFM_WRITE, &info);
    if (file_ != nullptr) sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  }
  ~OutputFile() {
    if (file_ != nullptr) sf_close(file_);
    if (!committed_) {
      std::error_code ignored;
      fs::remove(temp_, ignored);
    }
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Why the file cannot be written, or empty.
  std::string failure() const {
    return file_ != nullptr ? std::string()
                            : target_.string() + " cannot be written: " + sf_strerror(nullptr);
  }
  bool write(const float* frames, uint32_t n) {
    return sf_writef_float(file_, frames, n) == sf_count_t(n);
  }
  // Why the last write failed.
  std::string writeFailure() const {
    return target_.string() + " could not be written: " + sf_strerror(file_);
  }
  // Closes the file and gives it its name; why not, or empty.
  std::string commit() {
    const int closed = sf_close(std::exchange(file_, nullptr));
    std::error_code ec;
    if (closed == 0) fs::rename(temp_, target_, ec);
    if (closed != 0 || ec)
      return target_.string() + " could not be completed: " +
             (ec ? ec.message() : std::string(sf_error_number(closed)));
    committed_ = true;
    return {};
  }
  const fs::path& target() const { return target_; }

 private:
  fs::path target_, temp_;
  SNDFILE* file_ = nullptr;
  bool committed_ = false;
};

std::optional<int> soundFormat(const RenderJob& job, std::string& error) {
  const std::string ext = files::LowerEnding(job.output.string());
  const int sub = job.format == SampleFormat::Pcm16   ? SF_FORMAT_PCM_16
                  : job.format == SampleFormat::Pcm24 ? SF_FORMAT_PCM_24
                                                      : SF_FORMAT_FLOAT;
  if (ext == ".wav") return SF_FORMAT_WAV | sub;
  if (ext == ".flac") {
    if (job.format == SampleFormat::Float) {
      error =
          "FLAC holds no floating-point samples: choose 16 or 24 bits for " + job.output.string();
      return std::nullopt;
    }
    return SF_FORMAT_FLAC | sub;
  }
  error = "the output " + job.output.string() + " must end in .wav or .flac";
  return std::nullopt;
}

std::string padFileName(std::size_t pad, const std::string& name) {
  std::string safe;
  for (const char c : name) safe += (c == '/' || static_cast<unsigned char>(c) < 0x20) ? '_' : c;
  return std::to_string(pad + 1) + (safe.empty() ? "" : "-" + safe);
}

}  // namespace

fs::path PadFile(const fs::path& output, std::size_t pad, const std::string& name) {
  return output.parent_path() /
         (output.stem().string() + "-" + padFileName(pad, name) + output.extension().string());
}

RenderResult Render(const RenderJob& job, const std::function<void(double)>& progress,
                    const std::atomic<bool>* cancel) {
  RenderResult result;
  const auto format = soundFormat(job, result.error);
  if (!format) return result;
  kitload::KitLoad load = kitload::LoadEngineKit(job.kit, job.rate);
  if (!load.kit) {
    result.error = "the kit " + job.kit.string() + " cannot be loaded: " + load.error;
    return result;
  }
  result.notes = load.kit->notes;
  const MidiRead midi = LoadMidiFile(job.midi, job.rate);
  if (!midi.ok()) {
    result.error = midi.error;
    return result;
  }
  // Each note's frame, and the notes left once the channel is chosen.
  std::vector<uint64_t> frames;
  std::vector<engine::Event> events;
  for (const MidiNote& n : midi.notes) {
    if (job.channel && n.channel + 1 != *job.channel) continue;
    frames.push_back(n.frame);
    events.push_back(engine::Event::noteOn(n.key, n.velocity));
  }
  const uint64_t limit = uint64_t(kMostSeconds * job.rate);
  std::optional<uint64_t> length;
  if (job.lengthSeconds) {
    if (!(*job.lengthSeconds >= 0) || *job.lengthSeconds > kMostSeconds) {
      result.error = "a length of " + std::to_string(*job.lengthSeconds) +
                     " seconds is outside 0 to " + std::to_string(int(kMostSeconds));
      return result;
    }
    length = uint64_t(std::llround(*job.lengthSeconds * job.rate));
  } else if (events.empty()) {
    result.error = "the MIDI file " + job.midi.string() + " has no note to render" +
                   (job.channel ? " on channel " + std::to_string(*job.channel) : "");
    return result;
  } else if (frames.back() > limit) {
    result.error = "the MIDI file's last note comes after " +
                   std::to_string(frames.back() / job.rate) +
                   " seconds; a render of more than an hour is not made";
    return result;
  }

  engine::Engine engine(job.rate);
  engine::KitDescription& kit = *load.kit->description;
  const std::array<std::string, 9> names = load.kit->padNames;
  std::vector<bool> padSounds(kit.pads.size());
  for (std::size_t p = 0; p < kit.pads.size(); ++p) padSounds[p] = !kit.pads[p].layers.empty();
  engine.publish(std::move(load.kit->description));
  struct Release {
    engine::Engine& engine;
    std::vector<std::unique_ptr<engine::Voice>>& voices;
    ~Release() {
      for (auto& v : voices) engine.release(v.release());
    }
  } release{engine, load.kit->voices};

  std::vector<std::unique_ptr<OutputFile>> files(job.perPad ? padSounds.size() : 1);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (job.perPad && !padSounds[i]) continue;
    files[i] = std::make_unique<OutputFile>(
        job.perPad ? PadFile(job.output, i, names[i]) : job.output, *format, job.rate);
    if (const std::string why = files[i]->failure(); !why.empty()) {
      result.error = why;
      return result;
    }
  }

  std::vector<float> mix(2 * kBlock);
  std::vector<std::vector<float>> buses(job.perPad ? padSounds.size() : 0,
                                        std::vector<float>(2 * kBlock));
  std::vector<float*> busPointers;
  for (auto& b : buses) busPointers.push_back(b.data());
  std::vector<engine::Event> inBlock;
  const std::vector<float> silence(2 * kBlock);
  // Writes n frames into every file: each its own sound, or silence.
  const auto writeAll = [&](bool silent, uint32_t n) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      if (!files[i]) continue;
      const float* from = silent ? silence.data() : job.perPad ? buses[i].data() : mix.data();
      if (!files[i]->write(from, n)) {
        result.error = files[i]->writeFailure();
        return false;
      }
    }
    return true;
  };
  const auto audible = [&](uint32_t i) {
    if (mix[2 * i] != 0.0f || mix[2 * i + 1] != 0.0f) return true;
    for (const auto& b : buses)
      if (b[2 * i] != 0.0f || b[2 * i + 1] != 0.0f) return true;
    return false;
  };
  const uint64_t expected = length ? *length : frames.back();
  std::size_t next = 0;
  uint64_t done = 0;     // frames rendered
  uint64_t written = 0;  // frames in the files
  // Until the last sound has died away, silence is only written once a sound follows it: a
  // sample may end in silence of its own, or a voice fall silent blocks before it ends, and
  // the file must end where the sound does, wherever the blocks fall.
  uint64_t held = 0;
  const auto writeSilence = [&](uint64_t count) {
    for (uint32_t n; count > 0; count -= n, written += n)
      if (!writeAll(true, n = uint32_t(std::min<uint64_t>(count, kBlock)))) return false;
    return true;
  };
  while (true) {
    if (cancel != nullptr && cancel->load()) {
      result.error = "stopped before the end; nothing was written";
      return result;
    }
    uint32_t n = kBlock;
    if (length) n = uint32_t(std::min<uint64_t>(n, *length - done));
    if (n == 0) break;
    inBlock.clear();
    for (; next < events.size() && frames[next] < done + n; ++next) {
      inBlock.push_back(events[next]);
      inBlock.back().frame = uint32_t(frames[next] - done);
    }
    engine.render(mix.data(), n, inBlock, busPointers);
    uint32_t keep = n;
    if (!length) {
      while (keep > 0 && !audible(keep - 1)) --keep;
      if (keep > 0 && !writeSilence(std::exchange(held, 0))) return result;
      held += n - keep;
    }
    if (!writeAll(false, keep)) return result;
    written += keep;
    done += n;
    if (progress && expected > 0) progress(std::min(1.0, double(done) / double(expected)));
    if (!length && next == events.size() && engine.activeVoices() == 0) {
      // The file ends as the last sound does, but not before the last note.
      if (written <= frames.back() && !writeSilence(frames.back() + 1 - written)) return result;
      break;
    }
    if (!length && done > limit + 60ull * job.rate) {
      result.error = "the kit still sounds an hour and a minute in; a render that long is not made";
      return result;
    }
  }
  result.notesPlayed = next;
  result.frames = written;
  for (auto& f : files) {
    if (!f) continue;
    if (std::string why = f->commit(); !why.empty()) {
      result.error = why;
      result.written.clear();
      return result;
    }
    result.written.push_back(f->target());
  }
  return result;
}

}  // namespace varnkit::render
