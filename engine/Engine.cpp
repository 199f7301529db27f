#include "engine/Engine.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/HitRule.h"
#include "engine/Level.h"
#include "engine/Mix.h"

namespace varnkit::engine {
namespace {

uint32_t fadeFramesAt(uint32_t rate) noexcept {
  return std::max<uint32_t>(1, uint32_t(std::lround(rate * Engine::kFadeSeconds)));
}

}  // namespace

// The rule's actions on the render thread: a layer's voice stops, or starts from its
// beginning at its velocity's level; a layer with no voice is the host's, and never reaches here.
class Engine::VoiceActions final : public HitActions {
 public:
  explicit VoiceActions(Engine& engine) : engine_(engine) {}
  void stopLayer(std::size_t pad, std::size_t layer) override {
    if (Voice* v = voiceOf(pad, layer)) engine_.stop(*v);
  }
  void startLayer(std::size_t pad, std::size_t layer, int32_t velocity) override {
    Voice* v = voiceOf(pad, layer);
    if (v == nullptr) return;
    const float gain = velocity >= 0 && velocity < 128
                           ? engine_.gain_[std::size_t(velocity)]
                           : gainOfLevel(std::clamp(levelOfVelocity(velocity), -10000, 0));
    engine_.start(*v, gain, int32_t(pad));
  }

 private:
  Voice* voiceOf(std::size_t pad, std::size_t layer) const noexcept {
    return engine_.kit_->pads[pad].layers[layer].voice;
  }
  Engine& engine_;
};

Engine::Engine(uint32_t sampleRate)
    : rate_(sampleRate), fadeFrames_(fadeFramesAt(sampleRate)), tails_(kTailVoices) {
  for (int32_t v = 0; v < 128; ++v) gain_[std::size_t(v)] = gainOfLevel(levelOfVelocity(v));
}

Engine::~Engine() {
  // A voice released while an older kit named it is only handed on as its kit retires: that
  // happens here, before the drain, so the drain frees it too.
  collect();
  drainForShutdown();
  for (Voice* v : unposted_) delete v;
  for (Voice* v : deferred_) delete v;
}

bool Engine::post(const Command& c) noexcept {
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

bool Engine::post(const Event& event) noexcept {
  Command c;
  c.op = Command::Op::Follow;
  c.event = event;
  return post(c);
}

bool Engine::postLive(const Event& event) noexcept {
  if (!takesLive_.load(std::memory_order_acquire)) return false;
  const std::size_t word = event.kind == Event::Kind::NoteOn ? event.key / 64 % 2 : 2;
  const uint64_t bit = uint64_t(1) << (event.key % 64);
  if ((hostFollows_[word].load(std::memory_order_acquire) & bit) != 0) return false;
  return live_.push(event);
}

void Engine::release(Voice* voice) {
  ++releasing_;
  if (named(voice))
    deferred_.push_back(voice);
  else
    postRelease(voice);
}

void Engine::postRelease(Voice* voice) {
  Command c;
  c.op = Command::Op::Release;
  c.voice = voice;
  if (!post(c)) unposted_.push_back(voice);
}

void Engine::collect() {
  retireKits();
  while (auto v = retired_.pop()) {
    delete *v;
    --releasing_;
  }
  while (!unposted_.empty()) {
    Command c;
    c.op = Command::Op::Release;
    c.voice = unposted_.back();
    if (!post(c)) break;
    unposted_.pop_back();
  }
}

void Engine::render(float* out, uint32_t frames) noexcept {
  renderBlock(out, frames, rendered_, {});
}

void Engine::render(float* out, uint32_t frames, uint32_t blockStart) noexcept {
  renderBlock(out, frames, blockStart, {});
}

void Engine::render(float* out, uint32_t frames, std::span<const Event> events) noexcept {
  renderBlock(out, frames, rendered_, events);
}

void Engine::render(float* out, uint32_t frames, std::span<const Event> events,
                    std::span<float* const> buses) noexcept {
  renderBlock(out, frames, rendered_, events, buses);
}

void Engine::renderBlock(float* out, uint32_t frames, uint32_t blockStart,
                         std::span<const Event> events, std::span<float* const> buses) noexcept {
  flushRetired();
  std::fill(out, out + 2 * std::size_t(frames), 0.0f);
  buses_ = buses;
  for (float* bus : buses)
    if (bus != nullptr) std::fill(bus, bus + 2 * std::size_t(frames), 0.0f);
  takeKit();
  takeLive();
  std::size_t next = 0;
  uint32_t done = 0;
  do {
    // Commands before live events, as the control thread posted them before they came.
    const uint32_t command = applyDue(blockStart, done, frames);
    uint32_t until = std::min(command, followLiveDue(blockStart, done, frames));
    while (next < events.size() && events[next].frame <= done) follow(events[next++]);
    if (next < events.size()) until = std::min(until, events[next].frame);
    if (until > done) mixSpan(out + 2 * std::size_t(done), done, until - done);
    done = until;
  } while (done < frames);
  // An event past the block's end is not lost: it takes effect as the next block begins.
  while (next < events.size()) follow(events[next++]);
  clip(out, 2 * std::size_t(frames));
  for (float* bus : buses)
    if (bus != nullptr) clip(bus, 2 * std::size_t(frames));
  buses_ = {};
  uint32_t count = 0;
  for (Voice* v = active_; v != nullptr; v = v->next) ++count;
  for (const Tail& t : tails_) count += t.voice != nullptr ? 1 : 0;
  activeCount_.store(count, std::memory_order_relaxed);
  blocks_.fetch_add(1, std::memory_order_relaxed);
  rendered_ = blockStart + frames;
}

// The newest kit published: events meet it from here on.
void Engine::takeKit() noexcept {
  kit_ = published_.load(std::memory_order_acquire);
  if (kit_ != nullptr) seen_.store(kit_->generation, std::memory_order_release);
}

void Engine::follow(const Event& event) noexcept {
  if (kit_ == nullptr) return;
  VoiceActions actions(*this);
  Follow(*kit_, event, actions);
}

void Engine::detach() noexcept {
  detached_ = true;
  takesLive_.store(false, std::memory_order_release);
  dropLive();
  while (auto c = commands_.pop()) apply(*c);
  silenceAll();
  freeRetired();
  for (Voice* v : std::exchange(unposted_, {})) {
    Command release;
    release.op = Command::Op::Release;
    release.voice = v;
    post(release);
  }
  activeCount_.store(0, std::memory_order_relaxed);
}

void Engine::attach() noexcept {
  // An event the live thread queued just as the stream went is as old as the loss.
  dropLive();
  takesLive_.store(true, std::memory_order_release);
  detached_ = false;
  timed_ = false;  // a due frame on the old stream's timeline means nothing on the new one
}

// While no thread renders, the control thread is the one that takes live events.
void Engine::dropLive() noexcept {
  while (live_.pop()) {
  }
  pendingCount_ = 0;
}

void Engine::setRate(uint32_t sampleRate) noexcept {
  rate_ = sampleRate;
  fadeFrames_ = fadeFramesAt(sampleRate);
}

// Applies the commands due by offset done of the block; returns where the next one is due,
// or frames when none is due inside the block.
uint32_t Engine::applyDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept {
  while (const Command* c = commands_.front()) {
    const uint32_t at = offsetInBlock(*c, blockStart);
    if (at > done) return std::min(at, frames);
    apply(*c);
    commands_.dropFront();
  }
  return frames;
}

void Engine::publish(std::unique_ptr<KitDescription> kit) {
  if (const KitDescription* newest = this->kit(); newest != nullptr && newest->samePlayAs(*kit)) {
    collect();
    return;
  }
  kit->generation = ++generation_;
  // The notes (words 0 and 1) and pads (word 2) whose events reach a layer of the host's own.
  std::array<uint64_t, 3> host{};
  for (uint8_t note = 0; note < 128; ++note)
    if (HostPlays(*kit, Event::noteOn(note, 127))) host[note / 64] |= uint64_t(1) << (note % 64);
  for (std::size_t pad = 0; pad < kit->pads.size() && pad < 64; ++pad)
    if (HostPlays(*kit, Event::padHit(uint8_t(pad), 127))) host[2] |= uint64_t(1) << pad;
  for (std::size_t i = 0; i < host.size(); ++i)
    hostFollows_[i].store(host[i], std::memory_order_release);
  published_.store(kit.get(), std::memory_order_release);
  tables_.push_back(std::move(kit));
  retireKits();
}

// A kit the render thread has moved on from is freed; a voice released meanwhile is handed
// on once no kit left names it.
void Engine::retireKits() {
  const KitDescription* newest = published_.load(std::memory_order_relaxed);
  const uint64_t seen = detached_ ? generation_ : seen_.load(std::memory_order_acquire);
  std::erase_if(tables_, [&](const std::unique_ptr<KitDescription>& t) {
    return t.get() != newest && t->generation < seen;
  });
  std::vector<Voice*> still;
  for (Voice* v : std::exchange(deferred_, {})) {
    if (named(v))
      still.push_back(v);
    else
      postRelease(v);
  }
  deferred_ = std::move(still);
}

bool Engine::named(const Voice* voice) const {
  for (const auto& table : tables_)
    for (const KitPad& pad : table->pads)
      for (const KitLayer& layer : pad.layers)
        if (layer.voice == voice) return true;
  return false;
}

void Engine::takeLive() noexcept {
  while (pendingCount_ < kPendingLive) {
    const auto event = live_.pop();
    if (!event) return;
    pending_[pendingCount_++] = *event;
  }
}

uint32_t Engine::offsetOf(uint32_t frame, uint32_t blockStart) const noexcept {
  const auto ahead = int32_t(frame - blockStart);  // the timeline wraps
  // A late event plays at once; one more than a second ahead is a clock that jumped, and
  // waiting for it would hold back everything behind it.
  if (ahead <= 0 || uint32_t(ahead) > rate_) return 0;
  return uint32_t(ahead);
}

uint32_t Engine::followLiveDue(uint32_t blockStart, uint32_t done, uint32_t frames) noexcept {
  uint32_t next = frames;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < pendingCount_; ++i) {
    const Event event = pending_[i];
    const uint32_t at = offsetOf(event.frame, blockStart);
    if (at > done) {
      pending_[kept++] = event;
      next = std::min(next, at);
    } else {
      follow(event);
    }
  }
  pendingCount_ = kept;
  return next;
}

uint32_t Engine::offsetInBlock(const Command& c, uint32_t blockStart) const noexcept {
  return c.timed ? offsetOf(c.due, blockStart) : 0;
}

float* Engine::busAt(int32_t bus, uint32_t offset) const noexcept {
  if (bus < 0 || std::size_t(bus) >= buses_.size() || buses_[std::size_t(bus)] == nullptr)
    return nullptr;
  return buses_[std::size_t(bus)] + 2 * std::size_t(offset);
}

void Engine::mixSpan(float* out, uint32_t offset, uint32_t frames) noexcept {
  for (Voice* v = active_; v != nullptr;) {
    Voice* next = v->next;  // mixVoice may unlink v
    mixVoice(*v, out, busAt(v->bus, offset), frames);
    v = next;
  }
  // Nearly every slot is empty, and this runs for every span between events: four slots are
  // looked at with one branch, and the tails still mix in slot order.
  static_assert(kTailVoices % 4 == 0);
  for (std::size_t i = 0; i < kTailVoices; i += 4) {
    Tail* group = tails_.data() + i;
    const auto any =
        reinterpret_cast<uintptr_t>(group[0].voice) | reinterpret_cast<uintptr_t>(group[1].voice) |
        reinterpret_cast<uintptr_t>(group[2].voice) | reinterpret_cast<uintptr_t>(group[3].voice);
    if (any == 0) continue;
    for (std::size_t k = 0; k < 4; ++k)
      if (group[k].voice != nullptr) mixTail(group[k], out, busAt(group[k].bus, offset), frames);
  }
}

void Engine::apply(const Command& c) noexcept {
  if (c.op == Command::Op::Follow) {
    takeKit();  // the newest kit, which the control thread published before it posted this
    follow(c.event);
    return;
  }
  Voice& v = *c.voice;
  switch (c.op) {
    case Command::Op::Rewind:
      rewind(v, c.frame);
      break;
    case Command::Op::SetGain:
      setGain(v, c.gain);
      break;
    case Command::Op::Play:
      play(v, c.serial, c.looping);
      break;
    case Command::Op::Stop:
      stop(v);
      break;
    case Command::Op::Release:
      stop(v);
      v.released = true;
      retireIfIdle(v);
      break;
    case Command::Op::Follow:
      break;
  }
}

void Engine::play(Voice& v, uint32_t serial, bool looping) noexcept {
  v.serial = serial;
  v.looping = looping;
  if (v.playing) return;
  if (v.pos >= v.data.frames) v.pos = 0;
  v.playing = true;
  v.fresh = true;
  v.prev = nullptr;
  v.next = active_;
  if (active_ != nullptr) active_->prev = &v;
  active_ = &v;
}

void Engine::start(Voice& v, float gain, int32_t bus) noexcept {
  rewind(v, 0);  // the old sound's tail stays on the bus it was heard on
  v.bus = bus;
  setGain(v, gain);
  play(v, v.serial + 1, false);
}

void Engine::stop(Voice& v) noexcept {
  if (!v.playing) return;
  if (!v.fresh) startTail(v);
  v.playing = false;
  unlink(v);
}

void Engine::rewind(Voice& v, uint64_t frame) noexcept {
  if (v.playing && !v.fresh) {
    // The old sound fades out on its own while the voice starts again at once.
    startTail(v);
    v.fresh = true;
    v.gain = v.target;
    v.rampLeft = 0;
  }
  v.pos = frame;
}

void Engine::setGain(Voice& v, float gain) noexcept {
  v.target = gain;
  if (!v.playing || v.fresh) {
    v.gain = gain;
    v.rampLeft = 0;
    return;
  }
  // A jump in level while sounding would click: glide there over the fade time.
  v.rampLeft = fadeFrames_;
  v.rampStep = (gain - v.gain) / float(fadeFrames_);
}

void Engine::startTail(Voice& v) noexcept {
  if (v.pos >= v.data.frames) return;
  Tail* slot = nullptr;
  for (Tail& t : tails_) {
    if (t.voice == nullptr) {
      slot = &t;
      break;
    }
    if (slot == nullptr || t.left < slot->left) slot = &t;
  }
  if (slot->voice != nullptr) endTail(*slot);  // all busy: the one nearest silence goes
  slot->voice = &v;
  slot->pos = v.pos;
  slot->gain = v.gain;
  slot->left = fadeFrames_;
  slot->step = v.gain / float(fadeFrames_);
  slot->bus = v.bus;
  ++v.tails;
}

void Engine::unlink(Voice& v) noexcept {
  if (v.prev != nullptr) v.prev->next = v.next;
  if (v.next != nullptr) v.next->prev = v.prev;
  if (active_ == &v) active_ = v.next;
  v.prev = v.next = nullptr;
}

void Engine::mixVoice(Voice& v, float* out, float* bus, uint32_t frames) noexcept {
  uint32_t done = 0;
  while (done < frames) {
    if (v.pos >= v.data.frames) {
      if (v.looping && v.data.frames > 0) {
        v.pos = 0;
        continue;
      }
      v.playing = false;
      v.pos = 0;
      v.endedSerial.store(v.serial, std::memory_order_release);
      unlink(v);
      retireIfIdle(v);
      return;
    }
    uint32_t n = uint32_t(std::min<uint64_t>(frames - done, v.data.frames - v.pos));
    if (v.rampLeft > 0) {
      n = std::min(n, v.rampLeft);
      addFrames(v.data, v.pos, n, v.gain, v.rampStep, out + 2 * done);
      if (bus != nullptr) addFrames(v.data, v.pos, n, v.gain, v.rampStep, bus + 2 * done);
      v.rampLeft -= n;
      v.gain = v.rampLeft == 0 ? v.target : v.gain + v.rampStep * float(n);
    } else {
      addFrames(v.data, v.pos, n, v.gain, 0.0f, out + 2 * done);
      if (bus != nullptr) addFrames(v.data, v.pos, n, v.gain, 0.0f, bus + 2 * done);
    }
    v.pos += n;
    done += n;
    v.fresh = false;
  }
}

void Engine::mixTail(Tail& t, float* out, float* bus, uint32_t frames) noexcept {
  const auto n = uint32_t(std::min<uint64_t>({frames, t.left, t.voice->data.frames - t.pos}));
  addFrames(t.voice->data, t.pos, n, t.gain, -t.step, out);
  if (bus != nullptr) addFrames(t.voice->data, t.pos, n, t.gain, -t.step, bus);
  t.gain -= t.step * float(n);
  t.left -= n;
  t.pos += n;
  if (t.left == 0 || t.pos >= t.voice->data.frames) endTail(t);
}

void Engine::endTail(Tail& t) noexcept {
  Voice& v = *t.voice;
  t.voice = nullptr;
  --v.tails;
  retireIfIdle(v);
}

void Engine::retireIfIdle(Voice& v) noexcept {
  if (!v.released || v.playing || v.tails > 0) return;
  if (toRetire_ == nullptr && retired_.push(&v)) return;
  v.retireNext = toRetire_;
  toRetire_ = &v;
}

void Engine::flushRetired() noexcept {
  while (toRetire_ != nullptr && retired_.push(toRetire_)) toRetire_ = toRetire_->retireNext;
}

void Engine::drainForShutdown() noexcept {
  while (auto c = commands_.pop()) apply(*c);
  silenceAll();
  freeRetired();
}

// Ends every sound and tail at once, as if each had played to its end.
void Engine::silenceAll() noexcept {
  for (Tail& t : tails_)
    if (t.voice != nullptr) endTail(t);
  while (active_ != nullptr) {
    Voice& v = *active_;
    v.playing = false;
    v.pos = 0;
    v.endedSerial.store(v.serial, std::memory_order_release);
    unlink(v);
    retireIfIdle(v);
  }
}

// With no thread rendering, what the render thread would hand back is freed here and now.
void Engine::freeRetired() noexcept {
  while (auto v = retired_.pop()) {
    delete *v;
    --releasing_;
  }
  for (Voice* v = std::exchange(toRetire_, nullptr); v != nullptr; --releasing_) {
    delete std::exchange(v, v->retireNext);
  }
}

}  // namespace varnkit::engine
