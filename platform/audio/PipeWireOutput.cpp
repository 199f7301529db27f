#include "platform/audio/PipeWireOutput.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/format-utils.h>

#include <time.h>
#include <algorithm>
#include <cerrno>
#include <string>

#include "engine/Engine.h"

namespace varnkit::audio {
namespace {

// Frames the engine renders at once: a longer cycle is rendered in pieces.
constexpr uint32_t kBlockCapacity = 8192;
constexpr uint32_t kStride = 2 * sizeof(float);

void initOnce() {
  static const bool done = [] {
    pw_init(nullptr, nullptr);
    return true;
  }();
  (void)done;
}

}  // namespace

// Every access is sequentially consistent: the one order of them all is what keeps a reader
// from taking half of one stamp and half of the next, with no fence to reason about.
void PipeWireClock::stamp(uint32_t first, uint32_t frames, int64_t ns) noexcept {
  seq_.fetch_add(1);  // odd: a write is under way
  first_.store(first);
  frames_.store(frames);
  ns_.store(ns);
  seq_.fetch_add(1);
}

PipeWireClock::Stamp PipeWireClock::read() const noexcept {
  for (;;) {
    const uint32_t before = seq_.load();
    const Stamp s{first_.load(), frames_.load(), ns_.load()};
    if ((before & 1) == 0 && seq_.load() == before) return s;
  }
}

std::optional<uint32_t> PipeWireClock::frameForArrival(int64_t monotonicNs) const noexcept {
  const Stamp s = read();
  if (s.frames == 0) return std::nullopt;
  const int64_t since = std::clamp<int64_t>(monotonicNs - s.ns, 0, 1'000'000'000);
  const int64_t into =
      std::min<int64_t>(since * PipeWireOutput::kRate / 1'000'000'000, 2 * int64_t(s.frames));
  return s.first + s.frames + uint32_t(into);
}

std::optional<uint32_t> PipeWireClock::frameForArrivalNow() const noexcept {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return frameForArrival(int64_t(now.tv_sec) * 1'000'000'000 + now.tv_nsec);
}

// The thread that runs the connection, and the objects on it; its lock guards every call into
// them but the process callback's. Torn down in the order PipeWire wants.
struct PipeWireOutput::Loop {
  pw_thread_loop* thread = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  spa_hook coreListener{};
  spa_hook streamListener{};

  Loop() = default;
  Loop(const Loop&) = delete;
  Loop& operator=(const Loop&) = delete;
  ~Loop() {
    if (thread != nullptr) pw_thread_loop_stop(thread);
    if (core != nullptr) pw_core_disconnect(core);
    if (context != nullptr) pw_context_destroy(context);
    if (thread != nullptr) pw_thread_loop_destroy(thread);
  }
};

Result<std::unique_ptr<PipeWireOutput>> PipeWireOutput::open(const std::string& clientName,
                                                             unsigned quantum) {
  initOnce();
  auto loop = std::make_unique<Loop>();
  loop->thread = pw_thread_loop_new("VarnKit sound", nullptr);
  if (loop->thread == nullptr) return Failure{DsResult::NoDriver, "no PipeWire thread"};
  loop->context = pw_context_new(pw_thread_loop_get_loop(loop->thread), nullptr, 0);
  if (loop->context == nullptr) return Failure{DsResult::NoDriver, "no PipeWire context"};
  if (pw_thread_loop_start(loop->thread) != 0)
    return Failure{DsResult::NoDriver, "the PipeWire thread did not start"};
  pw_thread_loop_lock(loop->thread);
  loop->core = pw_context_connect(loop->context, nullptr, 0);
  pw_thread_loop_unlock(loop->thread);
  if (loop->core == nullptr) return Failure{DsResult::NoDriver, "no PipeWire server answers"};
  std::unique_ptr<PipeWireOutput> self(
      new PipeWireOutput(std::move(loop), clientName, quantum > 0 ? quantum : kQuantum));
  static const pw_core_events coreEvents = [] {
    pw_core_events events{};
    events.version = PW_VERSION_CORE_EVENTS;
    events.error = &PipeWireOutput::onCoreError;
    return events;
  }();
  pw_thread_loop_lock(self->loop_->thread);
  pw_core_add_listener(self->loop_->core, &self->loop_->coreListener, &coreEvents, self.get());
  pw_thread_loop_unlock(self->loop_->thread);
  return self;
}

PipeWireOutput::PipeWireOutput(std::unique_ptr<Loop> loop, std::string clientName, unsigned quantum)
    : loop_(std::move(loop)),
      clientName_(std::move(clientName)),
      quantum_(quantum),
      clock_(std::make_shared<PipeWireClock>()) {}

std::shared_ptr<const FrameClock> PipeWireOutput::clock() const {
  return clock_;
}

PipeWireOutput::~PipeWireOutput() {
  stop();
  if (loop_->core != nullptr) {
    pw_thread_loop_lock(loop_->thread);
    spa_hook_remove(&loop_->coreListener);
    pw_thread_loop_unlock(loop_->thread);
  }
}

DsResult PipeWireOutput::start(engine::Engine& engine) {
  if (stream_ != nullptr || failed_.load()) return DsResult::NoDriver;
  engine_ = &engine;
  static const pw_stream_events streamEvents = [] {
    pw_stream_events events{};
    events.version = PW_VERSION_STREAM_EVENTS;
    events.state_changed = [](void* self, pw_stream_state old, pw_stream_state state,
                              const char* error) {
      onStateChanged(self, int(old), int(state), error);
    };
    events.process = &PipeWireOutput::onProcess;
    return events;
  }();
  const std::string latency = std::to_string(quantum_) + "/" + std::to_string(kRate);
  pw_thread_loop_lock(loop_->thread);
  pw_properties* props = pw_properties_new(
      PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Music",
      PW_KEY_APP_NAME, clientName_.c_str(), PW_KEY_NODE_NAME, clientName_.c_str(),
      PW_KEY_NODE_LATENCY, latency.c_str(), nullptr);
  stream_ = pw_stream_new(loop_->core, clientName_.c_str(), props);
  int connected = -ENOMEM;
  if (stream_ != nullptr) {
    pw_stream_add_listener(stream_, &loop_->streamListener, &streamEvents, this);
    uint8_t buffer[1024];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = kRate;
    info.channels = 2;
    info.position[0] = SPA_AUDIO_CHANNEL_FL;
    info.position[1] = SPA_AUDIO_CHANNEL_FR;
    const spa_pod* params[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
    connected =
        pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY,
                          pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                          PW_STREAM_FLAG_RT_PROCESS),
                          params, 1);
  }
  pw_thread_loop_unlock(loop_->thread);
  taken_.restart(framesTaken_.load());
  if (connected < 0) {
    stop();
    return DsResult::NoDriver;
  }
  return DsResult::Ok;
}

void PipeWireOutput::stop() noexcept {
  if (stream_ == nullptr) return;
  pw_thread_loop_lock(loop_->thread);
  // Once destroyed no process callback runs, and none is under way: it runs on the loop's data
  // thread, which pw_stream_destroy waits for.
  spa_hook_remove(&loop_->streamListener);
  pw_stream_destroy(stream_);
  pw_thread_loop_unlock(loop_->thread);
  stream_ = nullptr;
}

bool PipeWireOutput::lost() noexcept {
  if (stream_ == nullptr) return false;
  if (failed_.load(std::memory_order_acquire)) return true;
  return taken_.stalled(framesTaken_.load(std::memory_order_acquire), kStallLimit, kStartLimit);
}

void PipeWireOutput::onProcess(void* self) noexcept {
  static_cast<PipeWireOutput*>(self)->render();
}

void PipeWireOutput::render() noexcept {
  pw_buffer* buffer = pw_stream_dequeue_buffer(stream_);
  if (buffer == nullptr) return;
  spa_data& data = buffer->buffer->datas[0];
  auto* out = static_cast<float*>(data.data);
  if (out == nullptr) return;
  uint32_t frames = data.maxsize / kStride;
  if (buffer->requested != 0) frames = uint32_t(std::min<uint64_t>(buffer->requested, frames));
  pw_time time{};
  pw_stream_get_time_n(stream_, &time, sizeof time);  // reads the graph's position, no call
  const auto first = uint32_t(framesTaken_.load(std::memory_order_relaxed));
  clock_->stamp(first, frames, time.now);
  for (uint32_t done = 0; done < frames;) {
    const uint32_t n = std::min(frames - done, kBlockCapacity);
    engine_->render(out + 2 * std::size_t(done), n, first + done);
    done += n;
  }
  data.chunk->offset = 0;
  data.chunk->stride = int32_t(kStride);
  data.chunk->size = frames * kStride;
  pw_stream_queue_buffer(stream_, buffer);
  framesTaken_.fetch_add(frames, std::memory_order_release);
}

void PipeWireOutput::onStateChanged(void* self, int, int state, const char*) noexcept {
  // An error, or a stream the server took off its graph: neither comes back by itself.
  if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED)
    static_cast<PipeWireOutput*>(self)->failed_.store(true, std::memory_order_release);
}

void PipeWireOutput::onCoreError(void* self, uint32_t id, int, int res, const char*) noexcept {
  // The connection itself broke (the server went away): EPIPE on the core.
  if (id == PW_ID_CORE && res == -EPIPE)
    static_cast<PipeWireOutput*>(self)->failed_.store(true, std::memory_order_release);
}

}  // namespace varnkit::audio
