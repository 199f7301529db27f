#include "platform/audio/PulseOutput.h"

#include <pthread.h>
#include <pulse/error.h>
#include <pulse/simple.h>

#include "engine/Engine.h"

namespace varnkit::audio {
namespace {

constexpr uint32_t kFrameBytes = 2 * sizeof(float);

}  // namespace

Result<std::unique_ptr<PulseOutput>> PulseOutput::open(const std::string& clientName,
                                                       unsigned blockFrames) {
  const unsigned block = blockFrames > 0 ? blockFrames : kBlockFrames;
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_FLOAT32LE;
  spec.rate = kRate;
  spec.channels = 2;
  // The server keeps two blocks queued and asks for the next one when one has played: the
  // latency is two blocks, where the server's default holds two seconds.
  pa_buffer_attr attr{};
  attr.maxlength = uint32_t(-1);
  attr.tlength = 2 * block * kFrameBytes;
  attr.prebuf = uint32_t(-1);
  attr.minreq = block * kFrameBytes;
  attr.fragsize = uint32_t(-1);
  int error = 0;
  pa_simple* stream = pa_simple_new(nullptr, clientName.c_str(), PA_STREAM_PLAYBACK, nullptr,
                                    clientName.c_str(), &spec, nullptr, &attr, &error);
  if (stream == nullptr) return Failure{DsResult::NoDriver, pa_strerror(error)};
  return std::unique_ptr<PulseOutput>(new PulseOutput(stream, block));
}

PulseOutput::PulseOutput(pa_simple* stream, unsigned blockFrames)
    : stream_(stream), block_(blockFrames), buffer_(new float[2 * std::size_t(blockFrames)]) {}

PulseOutput::~PulseOutput() {
  stop();
  if (!abandoned_) pa_simple_free(stream_);
}

DsResult PulseOutput::start(engine::Engine& engine) {
  if (thread_.joinable() || failed_.load()) return DsResult::NoDriver;
  engine_ = &engine;
  taken_.restart(blocksTaken_.load());
  running_.store(true);
  ended_.store(false);
  thread_ = std::thread([this] { run(); });
  return DsResult::Ok;
}

void PulseOutput::stop() noexcept {
  running_.store(false);
  if (!thread_.joinable()) return;
  // A write waits a block at most while the server runs, and fails at once once it is gone;
  // a server that hangs may hold it for ever, and the window must not hang with it. Such a
  // thread is let go, and the stream it writes to is never freed under it.
  for (int i = 0; i < 100 && !ended_.load(std::memory_order_acquire); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  if (ended_.load(std::memory_order_acquire)) {
    thread_.join();
  } else {
    thread_.detach();
    abandoned_ = true;
  }
}

bool PulseOutput::lost() noexcept {
  if (!thread_.joinable() && !failed_.load()) return false;
  if (failed_.load(std::memory_order_acquire)) return true;
  // A server takes the first blocks at once, so the start needs no longer allowance.
  return taken_.stalled(blocksTaken_.load(std::memory_order_acquire), kStallLimit, kStallLimit);
}

void PulseOutput::run() noexcept {
  pthread_setname_np(pthread_self(), "VarnKit sound");
  while (running_.load(std::memory_order_acquire)) {
    engine_->render(buffer_.get(), block_);
    int error = 0;
    // A failed write is a server that has gone: the thread ends rather than spin on it.
    if (pa_simple_write(stream_, buffer_.get(), block_ * kFrameBytes, &error) < 0) {
      failed_.store(true, std::memory_order_release);
      break;
    }
    blocksTaken_.fetch_add(1, std::memory_order_release);
  }
  ended_.store(true, std::memory_order_release);
}

}  // namespace varnkit::audio
