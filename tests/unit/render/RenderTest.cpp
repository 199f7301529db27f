// MIDI files made here, rendered through a kit of one-level samples, so that every onset and
// level in the output can be told exactly; and the same notes played by the LV2 plugin.

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <set>
#include <tuple>

#include "engine/Engine.h"
#include "engine/Level.h"
#include "render/MidiFile.h"
#include "render/Render.h"
#include "tests/support/Child.h"
#include "tests/support/LilvHost.h"
#include "tests/support/RockKit.h"
#include "tests/support/WavWriter.h"

namespace varnkit::testing {
namespace {

namespace fs = std::filesystem;
using render::RenderJob;
using render::SampleFormat;
using Bytes = std::vector<uint8_t>;

fs::path writeKit(const fs::path& dir, uint64_t silence = 0) {
  return writeRockKit(dir, "Rock", 1.0f, silence);
}

float level(float sample, int velocity) {
  return sample * engine::gainOfLevel(engine::levelOfVelocity(velocity));
}

// A Standard MIDI File: tracks of events, each after its delta time in ticks.
struct Ev {
  uint32_t delta;
  Bytes bytes;
};

void put(Bytes& out, uint32_t v, int n) {
  while (n-- > 0) out.push_back(uint8_t(v >> (8 * n)));
}

Bytes track(const std::vector<Ev>& events, bool end = true) {
  Bytes body;
  for (const Ev& e : events) {
    Bytes vlq{uint8_t(e.delta & 0x7F)};
    for (uint32_t v = e.delta >> 7; v != 0; v >>= 7)
      vlq.insert(vlq.begin(), uint8_t(0x80 | (v & 0x7F)));
    body.insert(body.end(), vlq.begin(), vlq.end());
    body.insert(body.end(), e.bytes.begin(), e.bytes.end());
  }
  if (end) body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
  Bytes out{'M', 'T', 'r', 'k'};
  put(out, uint32_t(body.size()), 4);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

Bytes smf(uint16_t format, uint16_t division, const std::vector<Bytes>& tracks) {
  Bytes out{'M', 'T', 'h', 'd', 0, 0, 0, 6};
  put(out, format, 2);
  put(out, uint32_t(tracks.size()), 2);
  put(out, division, 2);
  for (const Bytes& t : tracks) out.insert(out.end(), t.begin(), t.end());
  return out;
}

Bytes tempo(uint32_t micros) {
  return {0xFF, 0x51, 0x03, uint8_t(micros >> 16), uint8_t(micros >> 8), uint8_t(micros)};
}

struct Sound {
  SF_INFO info{};
  std::vector<float> left, right;
};

Sound readSound(const fs::path& path) {
  Sound s;
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &s.info);
  if (f == nullptr) {
    ADD_FAILURE() << path << ": " << sf_strerror(nullptr);
    return s;
  }
  EXPECT_EQ(s.info.channels, 2);
  std::vector<float> all(std::size_t(s.info.frames) * std::size_t(s.info.channels));
  EXPECT_EQ(sf_readf_float(f, all.data(), s.info.frames), s.info.frames);
  for (std::size_t i = 0; i + 1 < all.size(); i += 2)
    s.left.push_back(all[i]), s.right.push_back(all[i + 1]);
  sf_close(f);
  return s;
}

struct Hit {
  uint64_t frame;
  float level;
};

// Each sound's first frame and its level there: the sounds in these renders never overlap.
void expectHits(const std::vector<float>& side, const std::vector<Hit>& want) {
  std::vector<Hit> got;
  for (std::size_t i = 0; i < side.size(); ++i)
    if (side[i] != 0.0f && (i == 0 || side[i - 1] == 0.0f)) got.push_back({i, side[i]});
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].frame, want[i].frame) << "hit " << i;
    EXPECT_NEAR(got[i].level, want[i].level, 1e-6f) << "hit " << i;
  }
}

std::set<std::string> filesIn(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

struct Rig {
  TempDir dir;
  fs::path kit = writeKit(dir.path());
  fs::path out = dir.path() / "out";
  Rig() { fs::create_directories(out); }
  RenderJob job(const Bytes& midi, const std::string& output = "mix.wav") {
    writeFile(dir.path() / "in.mid", midi);
    RenderJob j;
    j.kit = kit;
    j.midi = dir.path() / "in.mid";
    j.output = out / output;
    j.format = SampleFormat::Float;
    return j;
  }
};

TEST(Render, NotesOfEveryTrackSoundAtTheFramesTheirTicksAndTempoChangesGiveAndNothingElseSounds) {
  Rig rig;
  // 120 beats a minute, then 90 from tick 960; notes a velocity layer each, channels 1 and 10.
  // Where one Ev holds several events, each 0 after the first is the next one's delta.
  const Bytes conductor = track({{0, tempo(500000)},
                                 {0, {0xFF, 0x03, 0x02, 'R', 'k', 0, 0xF0, 0x02, 0x7E, 0xF7}},
                                 {0, {0xB0, 0x07, 0x64}},
                                 {240, {0x90, 38, 90}},
                                 {720, tempo(666667)},
                                 {480, {0x90, 38, 127}}});
  const Bytes drums =
      track({{0, {0x99, 36, 127}},
             {120, {42, 0}},  // running status; velocity 0 is a note off
             {360, {36, 40}},
             {240, {0xF7, 0x02, 0x43, 0x10, 0, 0x99, 42, 100}},
             {120, {0xC9, 5, 0, 0xE9, 0, 64, 0, 0xD9, 48, 0, 0xA9, 36, 16, 0, 0x89, 42, 0}},
             {120, {0x99, 46, 127}},
             {240, {36, 127}},
             {20240, {0x89, 36, 0, 0, 0x99, 36, 127}}});
  const auto at = [](double ticks) {
    const double seconds = ticks <= 960 ? ticks / 480 * 0.5 : 1.0 + (ticks - 960) / 480 * 0.666667;
    return uint64_t(std::llround(seconds * 44100));
  };
  const std::vector<Hit> all = {{0, 0.5f},
                                {at(240), level(0.375f, 90)},
                                {at(480), level(0.25f, 40)},
                                {at(720), level(0.125f, 100)},
                                {at(960), 0.1875f},
                                {at(1200), 0.5f},
                                {at(1440), 0.375f},
                                {at(21440), 0.5f}};
  EXPECT_EQ(at(480), 22050u);
  RenderJob job = rig.job(smf(1, 480, {conductor, drums}));
  const render::RenderResult result = render::Render(job);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.notesPlayed, all.size());
  const Sound mix = readSound(job.output);
  EXPECT_EQ(mix.left.size(), at(21440) + kRockFrames) << "the file ends as the last sound does";
  expectHits(mix.left, all);
  EXPECT_EQ(mix.left, mix.right);

  job.channel = 1;
  ASSERT_TRUE(render::Render(job).ok());
  expectHits(readSound(job.output).left, {all[1], all[6]});
  job.channel = 2;
  EXPECT_NE(render::Render(job).error.find("no note to render on channel 2"), std::string::npos);

  // Format 0 in SMPTE time, 25 frames of 40 ticks a second: a tick is a millisecond.
  job =
      rig.job(smf(0, 0xE728, {track({{0, {0x99, 36, 127}}, {250, {38, 127}}, {751, {42, 127}}})}));
  ASSERT_TRUE(render::Render(job).ok());
  expectHits(readSound(job.output).left, {{0, 0.5f}, {11025, 0.375f}, {44144, 0.125f}});
  // 30 drop-frame, of 100 ticks a frame: 30000 frames are 1001 s.
  const Bytes drop = smf(0, 0xE364, {track({{0, {0x90, 36, 1}}, {3000000, {36, 1}}})});
  const render::MidiRead read = render::ReadMidi(drop, 44100);
  ASSERT_TRUE(read.ok()) << read.error;
  ASSERT_EQ(read.notes.size(), 2u);
  EXPECT_EQ(read.notes[1].frame, 1001u * 44100);
}

TEST(Render, EveryFormatHoldsTheMixToItsPrecisionAndPerPadFilesEachHoldTheirPadAlone) {
  Rig rig;
  // No tempo given: 120 beats a minute.
  const Bytes groove = smf(
      0, 480, {track({{0, {0x99, 36, 127}}, {480, {38, 100}}, {480, {42, 127}}, {480, {46, 64}}})});
  const std::vector<Hit> hits = {
      {0, 0.5f}, {22050, level(0.375f, 100)}, {44100, 0.125f}, {66150, level(0.1875f, 64)}};
  RenderJob job = rig.job(groove);
  ASSERT_TRUE(render::Render(job).ok());
  const Sound reference = readSound(job.output);
  EXPECT_EQ(reference.info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
  EXPECT_EQ(reference.left.size(), 66150 + kRockFrames);
  expectHits(reference.left, hits);

  for (const auto& [file, format, sndFormat] :
       {std::tuple{"mix16.wav", SampleFormat::Pcm16, SF_FORMAT_WAV | SF_FORMAT_PCM_16},
        {"mix24.WAV", SampleFormat::Pcm24, SF_FORMAT_WAV | SF_FORMAT_PCM_24},
        {"mix16.flac", SampleFormat::Pcm16, SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
        {"mix24.Flac", SampleFormat::Pcm24, SF_FORMAT_FLAC | SF_FORMAT_PCM_24}}) {
    SCOPED_TRACE(file);
    job = rig.job(groove, file);
    job.format = format;
    ASSERT_TRUE(render::Render(job).ok());
    const Sound s = readSound(job.output);
    EXPECT_EQ(s.info.format, sndFormat);
    const int bits = format == SampleFormat::Pcm16 ? 16 : 24;
    ASSERT_EQ(s.left.size(), reference.left.size());
    for (std::size_t i = 0; i < s.left.size(); ++i)
      ASSERT_NEAR(s.left[i], reference.left[i], std::ldexp(1.0, 1 - bits)) << "frame " << i;
  }

  job = rig.job(groove, "pads.wav");
  job.perPad = true;
  const render::RenderResult perPad = render::Render(job);
  ASSERT_TRUE(perPad.ok()) << perPad.error;
  const std::vector<fs::path> padFiles = {
      render::PadFile(job.output, 0, "Kick"), render::PadFile(job.output, 1, "Snare"),
      render::PadFile(job.output, 2, "Hat"), render::PadFile(job.output, 3, "Open")};
  EXPECT_EQ(perPad.written, padFiles) << "no file for a pad without a sample, and no mix";
  for (std::size_t pad = 0; pad < padFiles.size(); ++pad) {
    const Sound s = readSound(padFiles[pad]);
    EXPECT_EQ(s.left.size(), reference.left.size()) << "every pad's file lines up with the others";
    expectHits(s.left, {hits[pad]});
  }
  EXPECT_FALSE(fs::exists(job.output));

  for (const double seconds : {0.5, 2.0, 0.0}) {
    job = rig.job(groove);
    job.lengthSeconds = seconds;
    ASSERT_TRUE(render::Render(job).ok());
    EXPECT_EQ(readSound(job.output).left.size(), uint64_t(std::llround(seconds * 44100)))
        << seconds << " s";
  }

  // The last sound's own silence at its end is no sound: the file ends where it falls silent.
  writeKit(rig.dir.path(), 3 * 4096 + 100);
  job.lengthSeconds.reset();
  ASSERT_TRUE(render::Render(job).ok());
  EXPECT_EQ(readSound(job.output).left.size(), 66150 + kRockFrames);
}

TEST(Render, ABrokenInputOrOutputIsRefusedWithItsReasonAndTheOutputFolderIsLeftAsItWas) {
  Rig rig;
  std::ofstream(rig.out / "mix.wav") << "an earlier render";
  const Bytes good = smf(0, 480, {track({{0, {0x99, 36, 127}}})});
  const Bytes cut(good.begin(), good.end() - 3);
  const auto expectNothingWritten = [&] {
    EXPECT_EQ(filesIn(rig.out), std::set<std::string>{"mix.wav"});
    EXPECT_EQ(fs::file_size(rig.out / "mix.wav"), 17u) << "the earlier file is kept";
  };
  for (const auto& [midi, says] : std::vector<std::pair<Bytes, const char*>>{
           {{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm'}, "not a MIDI file"},
           {cut, "track 1 is cut short"},
           {smf(0, 480, {track({{0, {36, 127}}})}), "running status with no status"},
           {smf(0, 480, {track({{0, {0xFF, 0x01, 0x20, 'x'}}}, false)}), "meta event's length"},
           {smf(0, 480, {track({{0, {0xF0, 0x30, 0x7E}}}, false)}), "system exclusive"}}) {
    EXPECT_NE(render::Render(rig.job(midi)).error.find(says), std::string::npos) << says;
    expectNothingWritten();
  }
  EXPECT_NE(render::Render(rig.job(good, "mix.mp3")).error.find("must end in .wav or .flac"),
            std::string::npos);
  RenderJob job = rig.job(good, "mix.flac");
  EXPECT_NE(render::Render(job).error.find("FLAC holds no floating-point"), std::string::npos);
  expectNothingWritten();

  job = rig.job(good);
  job.kit = rig.dir.path() / "Gone.txt";
  EXPECT_NE(render::Render(job).error.find("Gone.txt cannot be loaded"), std::string::npos);
  expectNothingWritten();

  // A note 2^64 frames and 2 s in, at 16.7 s a tick: refused, not wrapped round to 2 s.
  std::vector<Ev> far = {{0, tempo(0xFFFFFF)}};
  far.resize(92880, {0x0FFFFFFF, {0xFF, 0x01, 0x00}});
  far.push_back({221318638, {0x90, 36, 127}});
  EXPECT_NE(render::Render(rig.job(smf(0, 1, {track(far)}))).error.find("more than an hour"),
            std::string::npos);
  expectNothingWritten();

  job = rig.job(good);
  fs::resize_file(job.midi, 100u << 20);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_NE(render::Render(job).error.find("is 100 MB"), std::string::npos);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << "refused unread";
  expectNothingWritten();

  // Stopped halfway: the file written so far goes with it.
  job = rig.job(good);
  job.lengthSeconds = 30;
  std::atomic<bool> stop{false};
  bool partial = false;
  const auto progress = [&](double) {
    for (const std::string& name : filesIn(rig.out))
      partial |= name.find(".partial") != std::string::npos;
    stop = true;
  };
  EXPECT_EQ(render::Render(job, progress, &stop).error,
            "stopped before the end; nothing was written");
  EXPECT_TRUE(partial) << "the render was stopped while it wrote";
  expectNothingWritten();

  // The command: 1 for a render that fails, 2 for a command line it cannot use.
  const auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), VARNKIT_RENDER);
    return Child(args, {}, devNull(), devNull()).wait();
  };
  writeFile(rig.dir.path() / "bad.mid", {'M', 'T', 'h', 'd'});
  const std::string mix = (rig.out / "mix.wav").string();
  EXPECT_EQ(run({rig.kit.string(), (rig.dir.path() / "bad.mid").string(), mix}), 1);
  expectNothingWritten();
  EXPECT_EQ(run({rig.kit.string(), job.midi.string()}), 2);
  EXPECT_EQ(run({"--format", "32", rig.kit.string(), job.midi.string(), mix}), 2);
  expectNothingWritten();
  writeFile(job.midi, good);
  EXPECT_EQ(run({"--quiet", "--format", "16", "--channel", "10", rig.kit.string(),
                 job.midi.string(), mix}),
            0);
  EXPECT_EQ(readSound(mix).info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  EXPECT_EQ(filesIn(rig.out), std::set<std::string>{"mix.wav"});
}

TEST(Render, TheRendererPlaysNotesSampleForSampleAsTheLv2PluginDoesInAHost) {
  Rig rig;
  struct Note {
    uint32_t frame;
    uint8_t key, velocity;
  };
  // Hits of both kick layers, the snare, and the hats cutting each other, two in one frame.
  const std::vector<Note> notes = {{100, 36, 127},  {4097, 36, 40},   {9000, 42, 100},
                                   {9000, 38, 90},  {12000, 46, 127}, {15001, 42, 64},
                                   {19999, 36, 127}};
  constexpr uint32_t kLength = 24000;
  // 441 ticks a quarter note of 10 ms: a tick is a frame at 44100.
  std::vector<Ev> events = {{0, tempo(10000)}};
  for (std::size_t i = 0; i < notes.size(); ++i)
    events.push_back({notes[i].frame - (i == 0 ? 0 : notes[i - 1].frame),
                      {0x90, notes[i].key, notes[i].velocity}});
  RenderJob job = rig.job(smf(0, 441, {track(events)}));
  job.lengthSeconds = kLength / 44100.0;
  ASSERT_TRUE(render::Render(job).ok());
  const Sound rendered = readSound(job.output);
  ASSERT_EQ(rendered.left.size(), kLength);

  LilvWorld world;
  LilvPluginHost host(world, "https://varnkit.org/lv2/varnkit", 44100, 256);
  ASSERT_TRUE(host.ok());
  host.setKit(rig.kit.string());
  host.run(256);
  const std::size_t from = host.recorded(0).size();
  std::size_t next = 0;
  for (uint32_t start = 0; start < kLength; start += 256) {
    for (; next < notes.size() && notes[next].frame < start + 256; ++next)
      host.noteOn(notes[next].key, notes[next].velocity, notes[next].frame - start);
    host.run(256);
  }
  // Renders in blocks of other lengths may round a fade's steps a little differently.
  const uint32_t fade = engine::Engine(44100).fadeFrames();
  const auto inFade = [&](std::size_t frame) {
    return std::any_of(notes.begin(), notes.end(),
                       [&](const Note& n) { return frame >= n.frame && frame < n.frame + fade; });
  };
  for (std::size_t i = 0; i < kLength; ++i) {
    const float worst = std::max(std::abs(host.recorded(0)[from + i] - rendered.left[i]),
                                 std::abs(host.recorded(1)[from + i] - rendered.right[i]));
    EXPECT_LE(worst, inFade(i) ? 1e-6f : 0.0f) << "frame " << i;
  }
}

}  // namespace
}  // namespace varnkit::testing
