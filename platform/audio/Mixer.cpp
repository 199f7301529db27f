#include "platform/audio/Mixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace varnkit::audio {
namespace {

// Adds n frames of d from frame `from` at gain g + step*(i+1) into stereo out; a mono source
// goes to both sides. Two loops with a constant gain so the compiler can vectorise them.
void addFrames(const SampleData& d, uint64_t from, uint32_t n, float g, float step,
               float* out) noexcept {
  const float* src = d.samples.data() + from * d.channels;
  if (step == 0.0f) {
    if (d.channels == 1) {
      for (uint32_t i = 0; i < n; ++i) {
        out[2 * i] += g * src[i];
        out[2 * i + 1] += g * src[i];
      }
    } else {
      for (uint32_t i = 0; i < 2 * n; ++i) out[i] += g * src[i];
    }
    return;
  }
  for (uint32_t i = 0; i < n; ++i) {
    const float gi = g + step * float(i + 1);
    const float l = src[i * d.channels];
    const float r = src[i * d.channels + d.channels - 1];
    out[2 * i] += gi * l;
    out[2 * i + 1] += gi * r;
  }
}

}  // namespace

Mixer::Mixer(uint32_t sampleRate)
    : rate_(sampleRate),
      fadeFrames_(std::max<uint32_t>(1, uint32_t(std::lround(sampleRate * kFadeSeconds)))),
      tails_(kTailVoices) {}

// What deciding a note does, done on the audio thread as the commands of a pad trigger.
class Mixer::HitActions final : public LiveActions {
 public:
  explicit HitActions(Mixer& mixer) : mixer_(mixer) {}
  void stopSound(BufferCore& core) noexcept override { mixer_.stop(core); }
  void startSound(BufferCore& core, float gain) noexcept override {
    mixer_.rewind(core, 0);
    mixer_.setGain(core, gain);
    mixer_.play(core, core.serial + 1, false);
  }

 private:
  Mixer& mixer_;
};

Mixer::~Mixer() {
  drainForShutdown();
  collect();
  for (BufferCore* c : unposted_) delete c;
  for (BufferCore* c : deferred_) delete c;
}

bool Mixer::post(const Command& c) noexcept {
  if (detached_) {
    apply(c);
    silenceAll();
    freeRetired();
    return true;
  }
  if (!timed_) return commands_.push(c);
  Command timed = c;
  timed.timed = true;
  timed.due = due_;
  return commands_.push(timed);
}

bool Mixer::postHit(const LiveHit& hit) noexcept {
  if (!takesHits_.load(std::memory_order_acquire)) return false;
  const uint64_t bit = uint64_t(1) << (hit.note % 64);
  if ((windowNotes_[hit.note / 64 % 2].load(std::memory_order_acquire) & bit) != 0) return false;
  return hits_.push(hit);
}

void Mixer::release(BufferCore* core) {
  if (named(core))
    deferred_.push_back(core);
  else
    postRelease(core);
}

void Mixer::postRelease(BufferCore* core) {
  Command c;
  c.op = Command::Op::Release;
  c.core = core;
  if (!post(c)) unposted_.push_back(core);
}

void Mixer::collect() {
  retireTables();
  while (auto core = retired_.pop()) delete *core;
  while (!unposted_.empty()) {
    Command c;
    c.op = Command::Op::Release;
    c.core = unposted_.back();
    if (!post(c)) break;
    unposted_.pop_back();
  }
}

void Mixer::render(float* out, uint32_t frames) noexcept {
  render(out, frames, rendered_);
}

void Mixer::render(float* out, uint32_t frames, uint32_t blockStart) noexcept {
  flushRetired();
  std::fill(out, out + 2 * std::size_t(frames), 0.0f);
  // One table for the whole block: a kit that changes meanwhile plays from the next block.
  table_ = published_.load(std::memory_order_acquire);
  if (table_ != nullptr) seen_.store(table_->generation, std::memory_order_release);
  takeHits();
  uint32_t done = 0;
  do {
    const uint32_t command = applyDue(blockStart, done, frames);
    const uint32_t until = std::min(command, playHitsDue(blockStart, done, frames));
    if (until > done) mixSpan(out + 2 * std::size_t(done), until - done);
    done = until;
  } while (done < frames);
  for (std::size_t i = 0; i < 2 * std::size_t(frames); ++i)
    out[i] = std::clamp(out[i], -1.0f, 1.0f);
  uint32_t count = 0;
  for (BufferCore* c = active_; c != nullptr; c = c->next) ++count;
  for (const Tail& t : tails_) count += t.core != nullptr ? 1 : 0;
  activeCount_.store(count, std::memory_order_relaxed);
  blocks_.fetch_add(1, std::memory_order_relaxed);
  rendered_ = blockStart + frames;
}

void Mixer::detach() noexcept {
  detached_ = true;
  takesHits_.store(false, std::memory_order_release);
  dropHits();
  while (auto c = commands_.pop()) apply(*c);
  silenceAll();
  freeRetired();
  for (BufferCore* c : std::exchange(unposted_, {})) {
    Command release;
    release.op = Command::Op::Release;
    release.core = c;
    post(release);
  }
  activeCount_.store(0, std::memory_order_relaxed);
}

void Mixer::attach() noexcept {
  // A hit the MIDI thread queued just as the stream went is as old as the loss.
  dropHits();
  takesHits_.store(true, std::memory_order_release);
  detached_ = false;
  timed_ = false;  // a due frame on the old stream's timeline means nothing on the new one
}

// While no audio thread renders, the user-interface thread is the one that takes hits.
void Mixer::dropHits() noexcept {
  while (hits_.pop()) {
  }
  pendingCount_ = 0;
}

void Mixer::setRate(uint32_t sampleRate) noexcept {
  rate_ = sampleRate;
  fadeFrames_ = std::max<uint32_t>(1, uint32_t(std::lround(sampleRate * kFadeSeconds)));
}

// Applies the commands due by frame `done` of the block; returns where the next one is due,
// or frames when none is due inside the block.
uint32_t Mixer::applyDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept {
  while (const Command* c = commands_.front()) {
    const uint32_t at = offsetInBlock(*c, blockStart);
    if (at > done) return std::min(at, frames);
    apply(*c);
    commands_.dropFront();
  }
  return frames;
}

void Mixer::publish(std::unique_ptr<LiveTable> table) {
  table->generation = ++generation_;
  std::array<uint64_t, 2> window{};
  for (uint8_t note = 0; note < 128; ++note)
    if (WindowPlays(*table, note)) window[note / 64] |= uint64_t(1) << (note % 64);
  for (std::size_t i = 0; i < window.size(); ++i)
    windowNotes_[i].store(window[i], std::memory_order_release);
  published_.store(table.get(), std::memory_order_release);
  tables_.push_back(std::move(table));
  retireTables();
}

// A table the audio thread has moved on from is freed; a buffer released meanwhile goes to
// the mixer once no table left names it.
void Mixer::retireTables() {
  const LiveTable* newest = published_.load(std::memory_order_relaxed);
  const uint64_t seen = detached_ ? generation_ : seen_.load(std::memory_order_acquire);
  std::erase_if(tables_, [&](const std::unique_ptr<LiveTable>& t) {
    return t.get() != newest && t->generation < seen;
  });
  std::vector<BufferCore*> still;
  for (BufferCore* core : std::exchange(deferred_, {})) {
    if (named(core))
      still.push_back(core);
    else
      postRelease(core);
  }
  deferred_ = std::move(still);
}

bool Mixer::named(const BufferCore* core) const {
  for (const auto& table : tables_)
    for (const LivePad& pad : table->pads)
      for (const LiveLayer& layer : pad.layers)
        if (layer.core == core) return true;
  return false;
}

void Mixer::takeHits() noexcept {
  while (pendingCount_ < kPendingHits) {
    const auto hit = hits_.pop();
    if (!hit) return;
    pending_[pendingCount_++] = *hit;
  }
}

uint32_t Mixer::hitOffset(const LiveHit& hit, uint32_t blockStart) const noexcept {
  const auto ahead = int32_t(hit.frame - blockStart);  // the timeline wraps
  // A late note plays at once; one more than a second ahead is a clock that jumped.
  if (ahead <= 0 || uint32_t(ahead) > rate_) return 0;
  return uint32_t(ahead);
}

uint32_t Mixer::playHitsDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept {
  HitActions actions(*this);
  uint32_t next = frames;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < pendingCount_; ++i) {
    const LiveHit hit = pending_[i];
    const uint32_t at = hitOffset(hit, blockStart);
    if (at > done) {
      pending_[kept++] = hit;
      next = std::min(next, at);
    } else if (table_ != nullptr) {
      ResolveHit(*table_, hit.note, hit.velocity, actions);
    }
  }
  pendingCount_ = kept;
  return next;
}

uint32_t Mixer::offsetInBlock(const Command& c, uint32_t blockStart) const noexcept {
  if (!c.timed) return 0;
  const auto ahead = int32_t(c.due - blockStart);  // the timeline wraps
  // More than a second ahead is a clock that jumped: waiting would hold back every command.
  if (ahead <= 0 || uint32_t(ahead) > rate_) return 0;
  return uint32_t(ahead);
}

void Mixer::mixSpan(float* out, uint32_t frames) noexcept {
  for (BufferCore* c = active_; c != nullptr;) {
    BufferCore* next = c->next;  // mixCore may unlink c
    mixCore(*c, out, frames);
    c = next;
  }
  for (Tail& t : tails_)
    if (t.core != nullptr) mixTail(t, out, frames);
}

void Mixer::apply(const Command& c) noexcept {
  BufferCore& core = *c.core;
  switch (c.op) {
    case Command::Op::Rewind:
      rewind(core, c.frame);
      break;
    case Command::Op::SetGain:
      setGain(core, c.gain);
      break;
    case Command::Op::Play:
      play(core, c.serial, c.looping);
      break;
    case Command::Op::Stop:
      stop(core);
      break;
    case Command::Op::Release:
      stop(core);
      core.released = true;
      retireIfIdle(core);
      break;
  }
}

void Mixer::play(BufferCore& c, uint32_t serial, bool looping) noexcept {
  c.serial = serial;
  c.looping = looping;
  if (c.playing) return;
  if (c.pos >= c.data.frames) c.pos = 0;
  c.playing = true;
  c.fresh = true;
  c.prev = nullptr;
  c.next = active_;
  if (active_ != nullptr) active_->prev = &c;
  active_ = &c;
}

void Mixer::stop(BufferCore& c) noexcept {
  if (!c.playing) return;
  if (!c.fresh) startTail(c);
  c.playing = false;
  unlink(c);
}

void Mixer::rewind(BufferCore& c, uint64_t frame) noexcept {
  if (c.playing && !c.fresh) {
    // The old sound fades out on its own while the buffer starts again at once.
    startTail(c);
    c.fresh = true;
    c.gain = c.target;
    c.rampLeft = 0;
  }
  c.pos = frame;
}

void Mixer::setGain(BufferCore& c, float gain) noexcept {
  c.target = gain;
  if (!c.playing || c.fresh) {
    c.gain = gain;
    c.rampLeft = 0;
    return;
  }
  // A jump in level while sounding would click: glide there over the fade time.
  c.rampLeft = fadeFrames_;
  c.rampStep = (gain - c.gain) / float(fadeFrames_);
}

void Mixer::startTail(BufferCore& c) noexcept {
  if (c.pos >= c.data.frames) return;
  Tail* slot = nullptr;
  for (Tail& t : tails_) {
    if (t.core == nullptr) {
      slot = &t;
      break;
    }
    if (slot == nullptr || t.left < slot->left) slot = &t;
  }
  if (slot->core != nullptr) endTail(*slot);  // all busy: the one nearest silence goes
  slot->core = &c;
  slot->pos = c.pos;
  slot->gain = c.gain;
  slot->left = fadeFrames_;
  slot->step = c.gain / float(fadeFrames_);
  ++c.tails;
}

void Mixer::unlink(BufferCore& c) noexcept {
  if (c.prev != nullptr) c.prev->next = c.next;
  if (c.next != nullptr) c.next->prev = c.prev;
  if (active_ == &c) active_ = c.next;
  c.prev = c.next = nullptr;
}

void Mixer::mixCore(BufferCore& c, float* out, uint32_t frames) noexcept {
  uint32_t done = 0;
  while (done < frames) {
    if (c.pos >= c.data.frames) {
      if (c.looping && c.data.frames > 0) {
        c.pos = 0;
        continue;
      }
      c.playing = false;
      c.pos = 0;
      c.endedSerial.store(c.serial, std::memory_order_release);
      unlink(c);
      retireIfIdle(c);
      return;
    }
    uint32_t n = uint32_t(std::min<uint64_t>(frames - done, c.data.frames - c.pos));
    if (c.rampLeft > 0) {
      n = std::min(n, c.rampLeft);
      addFrames(c.data, c.pos, n, c.gain, c.rampStep, out + 2 * done);
      c.rampLeft -= n;
      c.gain = c.rampLeft == 0 ? c.target : c.gain + c.rampStep * float(n);
    } else {
      addFrames(c.data, c.pos, n, c.gain, 0.0f, out + 2 * done);
    }
    c.pos += n;
    done += n;
    c.fresh = false;
  }
}

void Mixer::mixTail(Tail& t, float* out, uint32_t frames) noexcept {
  const auto n = uint32_t(std::min<uint64_t>({frames, t.left, t.core->data.frames - t.pos}));
  addFrames(t.core->data, t.pos, n, t.gain, -t.step, out);
  t.gain -= t.step * float(n);
  t.left -= n;
  t.pos += n;
  if (t.left == 0 || t.pos >= t.core->data.frames) endTail(t);
}

void Mixer::endTail(Tail& t) noexcept {
  BufferCore& c = *t.core;
  t.core = nullptr;
  --c.tails;
  retireIfIdle(c);
}

void Mixer::retireIfIdle(BufferCore& c) noexcept {
  if (!c.released || c.playing || c.tails > 0) return;
  if (toRetire_ == nullptr && retired_.push(&c)) return;
  c.retireNext = toRetire_;
  toRetire_ = &c;
}

void Mixer::flushRetired() noexcept {
  while (toRetire_ != nullptr && retired_.push(toRetire_)) toRetire_ = toRetire_->retireNext;
}

void Mixer::drainForShutdown() noexcept {
  while (auto c = commands_.pop()) apply(*c);
  silenceAll();
  freeRetired();
}

// Ends every sound and tail at once, as if each had played to its end.
void Mixer::silenceAll() noexcept {
  for (Tail& t : tails_)
    if (t.core != nullptr) endTail(t);
  while (active_ != nullptr) {
    BufferCore& c = *active_;
    c.playing = false;
    c.pos = 0;
    c.endedSerial.store(c.serial, std::memory_order_release);
    unlink(c);
    retireIfIdle(c);
  }
}

// With no audio thread about, what it would hand back is freed here and now.
void Mixer::freeRetired() noexcept {
  while (auto core = retired_.pop()) delete *core;
  for (BufferCore* c = std::exchange(toRetire_, nullptr); c != nullptr;) {
    delete std::exchange(c, c->retireNext);
  }
}

}  // namespace varnkit::audio
