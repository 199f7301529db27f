// Key-to-sink latency of the whole program on a desktop's sound server: a private PipeWire
// session with a null sink, VarnKit under an X server of its own, a key pressed through XTest
// and the onset of the hit found in what the sink played, both on the monotonic clock the
// graph runs by. For each path a desktop offers: VarnKit's PipeWire stream, its PulseAudio
// stream through pipewire-pulse, and its JACK client under PipeWire's JACK library.

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <vector>

#include "tests/support/Child.h"
#include "tests/support/PipeWireSession.h"
#include "tests/support/VirtualX.h"
#include "tests/support/WavWriter.h"

namespace varnkit::bench {
namespace {

using namespace std::chrono_literals;
using testing::Child;

constexpr uint32_t kRate = 48000;
constexpr int kPresses = 20;

int64_t monotonicNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// What the sink plays, as the onsets of sound after silence, each at the monotonic time the
// graph gave the sample.
class SinkEars {
 public:
  SinkEars(const testing::PipeWireSession& session) {
    setenv("XDG_RUNTIME_DIR", session.env().at("XDG_RUNTIME_DIR").c_str(), 1);
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new("ears", nullptr);
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    pw_thread_loop_start(loop_);
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_ != nullptr) connect(session.sink());
    pw_thread_loop_unlock(loop_);
  }
  ~SinkEars() {
    pw_thread_loop_lock(loop_);
    if (stream_ != nullptr) pw_stream_destroy(stream_);
    pw_thread_loop_unlock(loop_);
    pw_thread_loop_stop(loop_);
    if (core_ != nullptr) pw_core_disconnect(core_);
    pw_context_destroy(context_);
    pw_thread_loop_destroy(loop_);
  }
  SinkEars(const SinkEars&) = delete;
  SinkEars& operator=(const SinkEars&) = delete;

  bool ok() const { return stream_ != nullptr; }
  // The onsets heard so far, in monotonic nanoseconds.
  std::vector<int64_t> onsets() {
    std::lock_guard guard(lock_);
    return onsets_;
  }

 private:
  void connect(const std::string& sink) {
    static const pw_stream_events events = [] {
      pw_stream_events e{};
      e.version = PW_VERSION_STREAM_EVENTS;
      e.process = [](void* self) { static_cast<SinkEars*>(self)->hear(); };
      return e;
    }();
    pw_properties* props = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_NODE_NAME,
        "varnkit-ears", PW_KEY_TARGET_OBJECT, sink.c_str(), PW_KEY_STREAM_CAPTURE_SINK, "true",
        PW_KEY_NODE_LATENCY, "64/48000", nullptr);
    stream_ = pw_stream_new(core_, "varnkit-ears", props);
    pw_stream_add_listener(stream_, &listener_, &events, this);
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = 1;
    info.position[0] = SPA_AUDIO_CHANNEL_MONO;
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    pw_stream_connect(stream_, PW_DIRECTION_INPUT, PW_ID_ANY,
                      pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                      PW_STREAM_FLAG_RT_PROCESS),
                      params, 1);
  }

  void hear() {
    pw_time time{};
    pw_stream_get_time_n(stream_, &time, sizeof time);
    pw_buffer* b = pw_stream_dequeue_buffer(stream_);
    if (b == nullptr) return;
    const spa_data& data = b->buffer->datas[0];
    const auto* in = static_cast<const float*>(data.data);
    const uint32_t frames = in != nullptr ? data.chunk->size / sizeof(float) : 0;
    for (uint32_t i = 0; i < frames; ++i) {
      const bool loud = std::fabs(in[i]) > 0.05f;
      if (loud && quietFor_ > kRate / 10) {
        std::lock_guard guard(lock_);
        onsets_.push_back(time.now + int64_t(i) * 1'000'000'000 / kRate);
      }
      quietFor_ = loud ? 0 : quietFor_ + 1;
    }
    pw_stream_queue_buffer(stream_, b);
  }

  pw_thread_loop* loop_ = nullptr;
  pw_context* context_ = nullptr;
  pw_core* core_ = nullptr;
  pw_stream* stream_ = nullptr;
  spa_hook listener_{};
  uint32_t quietFor_ = 0;  // process thread
  std::mutex lock_;
  std::vector<int64_t> onsets_;
};

struct Path {
  const char* name;
  std::vector<std::string> options;
  bool jack;
};

struct Figures {
  double min = 0, median = 0, max = 0;
  int heard = 0;
};

Figures measure(const testing::PipeWireSession& session, const testing::VirtualX& x,
                const Path& path) {
  testing::TempDir app, data;
  std::filesystem::copy_file(VARNKIT_PROGRAM, app.path() / "VarnKit");
  auto env = session.env();
  env.insert({{"DISPLAY", x.display()},
              {"QT_QPA_PLATFORM", "xcb"},
              {"JACK_NO_START_SERVER", "1"},
              {"XDG_DATA_HOME", data.file("data")},
              {"XDG_CONFIG_HOME", data.file("config")}});
  env["JACK_DEFAULT_SERVER"] = path.jack ? "pipewire-0" : "varnkit-none";
  if (path.jack) env["LD_LIBRARY_PATH"] = PIPEWIRE_JACK_DIR;
  Child({VARNKIT_REGSVR, "-s", MIDI_MODULE_PATH}, env).wait();
  std::vector<std::string> argv{(app.path() / "VarnKit").string()};
  argv.insert(argv.end(), path.options.begin(), path.options.end());
  Child program(argv, env, testing::devNull(), testing::devNull());
  std::string window = x.xdotool({"search", "--sync", "--onlyvisible", "--name", "^VarnKit$"});
  window = window.substr(0, window.find('\n'));
  std::this_thread::sleep_for(2s);
  if (path.jack)
    for (const char* channel : {"FL", "FR"})
      session.run({"pw-link", std::string("VarnKit:outport ") + (channel[1] == 'L' ? "0" : "1"),
                   session.sink() + ":playback_" + channel});
  x.xdotool({"windowfocus", "--sync", window});

  SinkEars ears(session);
  Display* display = XOpenDisplay(x.display().c_str());
  if (!ears.ok() || display == nullptr) return {};
  const KeyCode q = XKeysymToKeycode(display, XStringToKeysym("q"));
  std::this_thread::sleep_for(1s);
  std::vector<int64_t> pressed;
  for (int i = 0; i < kPresses; ++i) {
    XTestFakeKeyEvent(display, q, True, CurrentTime);
    XSync(display, False);
    pressed.push_back(monotonicNs());
    XTestFakeKeyEvent(display, q, False, CurrentTime);
    XSync(display, False);
    std::this_thread::sleep_for(900ms + std::chrono::milliseconds(i * 7 % 50));
  }
  XCloseDisplay(display);
  std::this_thread::sleep_for(500ms);
  const std::vector<int64_t> onsets = ears.onsets();
  std::vector<double> ms;
  for (int64_t at : pressed) {
    const auto onset = std::lower_bound(onsets.begin(), onsets.end(), at - 1'000'000);
    if (onset != onsets.end() && *onset - at < 500'000'000) ms.push_back(double(*onset - at) / 1e6);
  }
  program.stop(5s);
  if (ms.empty()) return {};
  std::sort(ms.begin(), ms.end());
  return {ms.front(), ms[ms.size() / 2], ms.back(), int(ms.size())};
}

}  // namespace
}  // namespace varnkit::bench

int main() {
  using namespace varnkit;
  testing::VirtualX x;
  testing::PipeWireSession session;
  if (x.display().empty() || !session.ok()) {
    std::fprintf(stderr, "no X server or no PipeWire session\n");
    return 1;
  }
  const bench::Path paths[] = {{"PipeWire", {"--audio", "pipewire"}, false},
                               {"PulseAudio", {"--audio", "pulse", "--buffer", "128"}, false},
                               {"JACK on PipeWire", {"--audio", "jack"}, true}};
  std::printf(
      "path              heard   min ms  median ms  max ms   (key press to the sink, %d presses)\n",
      bench::kPresses);
  for (const auto& path : paths) {
    const bench::Figures f = bench::measure(session, x, path);
    std::printf("%-16s  %2d/%-2d  %6.1f  %9.1f  %6.1f\n", path.name, f.heard, bench::kPresses,
                f.min, f.median, f.max);
  }
  return 0;
}
