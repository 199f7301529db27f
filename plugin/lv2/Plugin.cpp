#include "plugin/lv2/Plugin.h"

#include <lv2/atom/util.h>
#include <lv2/core/lv2_util.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "kitload/EngineKit.h"

namespace varnkit::lv2 {
namespace {

// What run() asks of the worker, and what the worker answers: a kind, then a kit path
// ending in a NUL for Load and Loaded.
enum class Kind : uint32_t { Load, Collect, Loaded };

struct Message {
  Kind kind;
  char path[Plugin::kMostPathBytes];
};

uint32_t sizeOf(const Message& m) {
  return uint32_t(offsetof(Message, path) + std::strlen(m.path) + 1);
}

// The text of a path atom, or null when it holds none that ends inside it.
const char* pathIn(const LV2_Atom* atom, LV2_URID pathType) {
  if (atom == nullptr || atom->type != pathType || atom->size == 0) return nullptr;
  const auto* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(atom));
  return std::memchr(text, '\0', atom->size) != nullptr ? text : nullptr;
}

// A path in the host's own form (abstract) or back, as its state:mapPath maps it, and freed
// as the host wants; the path as it is when the host maps none.
std::string hostPath(const LV2_Feature* const* features, const char* path, bool abstract) {
  const auto* map =
      static_cast<const LV2_State_Map_Path*>(lv2_features_data(features, LV2_STATE__mapPath));
  const auto* freePath =
      static_cast<const LV2_State_Free_Path*>(lv2_features_data(features, LV2_STATE__freePath));
  char* mapped = map == nullptr ? nullptr
                 : abstract     ? map->abstract_path(map->handle, path)
                                : map->absolute_path(map->handle, path);
  if (mapped == nullptr) return path;
  std::string result = mapped;
  if (freePath != nullptr)
    freePath->free_path(freePath->handle, mapped);
  else
    std::free(mapped);
  return result;
}

}  // namespace

std::unique_ptr<Plugin> Plugin::create(double rate, const LV2_Feature* const* features,
                                       bool padOutputs) {
  const LV2_URID_Map* map = nullptr;
  const LV2_Worker_Schedule* schedule = nullptr;
  LV2_Log_Log* log = nullptr;
  const char* missing = lv2_features_query(features, LV2_LOG__log, &log, false, LV2_URID__map, &map,
                                           true, LV2_WORKER__schedule, &schedule, true, nullptr);
  LV2_Log_Logger logger{};
  lv2_log_logger_init(&logger, const_cast<LV2_URID_Map*>(map), log);
  if (missing != nullptr) {
    lv2_log_error(&logger, "VarnKit cannot run without the host feature %s.\n", missing);
    return nullptr;
  }
  if (!(rate >= 1000 && rate <= 1536000)) {
    lv2_log_error(&logger, "VarnKit cannot run at a sample rate of %g Hz.\n", rate);
    return nullptr;
  }
  return std::unique_ptr<Plugin>(
      new Plugin(uint32_t(std::lround(rate)), *map, *schedule, log, padOutputs));
}

Plugin::Plugin(uint32_t rate, const LV2_URID_Map& map, const LV2_Worker_Schedule& schedule,
               LV2_Log_Log* log, bool padOutputs)
    : uris_(map),
      schedule_(schedule),
      padOutputs_(padOutputs),
      rate_(rate),
      engine_(rate),
      mix_(2 * kChunk) {
  lv2_log_logger_init(&logger_, const_cast<LV2_URID_Map*>(&map), log);
  lv2_atom_forge_init(&forge_, const_cast<LV2_URID_Map*>(&map));
  if (padOutputs_) {
    for (uint32_t p = 0; p < kPads; ++p) {
      buses_[p].resize(2 * kChunk);
      busPointers_[p] = buses_[p].data();
    }
  }
  // Until a kit is chosen the pads are there, and silent.
  silence();
}

// The engine frees the voices it is handed, once nothing plays them; its own end does that
// for every one.
Plugin::~Plugin() {
  for (auto& v : voices_) engine_.release(v.release());
}

void Plugin::connect(uint32_t port, void* data) noexcept {
  if (port == Control)
    controlIn_ = static_cast<const LV2_Atom_Sequence*>(data);
  else if (port == Notify)
    notifyOut_ = static_cast<LV2_Atom_Sequence*>(data);
  else if (port < ports())
    audio_[port - OutLeft] = static_cast<float*>(data);
}

void Plugin::activate() {
  const std::lock_guard lock(control_);
  engine_.detach();
  engine_.attach();
  eventCount_ = 0;
  tellKit_ = kitPath_[0] != '\0';  // a host that shows the kit learns it again
}

void Plugin::run(uint32_t frames) noexcept {
  LV2_Atom_Forge_Frame sequence{};
  bool notify = notifyOut_ != nullptr;
  std::size_t room = 0;
  if (notify) {
    // Messages are made in a buffer of the plugin's own, as a host's may not be aligned.
    LV2_Atom port{};
    std::memcpy(&port, notifyOut_, sizeof port);
    room = std::min<std::size_t>(port.size + sizeof port, kAtomBytes);
    lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(notifyBuffer_.data()), room);
    notify = lv2_atom_forge_sequence_head(&forge_, &sequence, 0) != 0;
  }
  while (const auto restored = restoredPaths_.pop()) {
    kitPath_ = *restored;
    tellKit_ = true;
  }
  rendered_ = 0;
  lastFrame_ = 0;
  if (controlIn_ != nullptr) readControl(frames);
  renderUntil(frames);
  if (notify) {
    if (tellKit_ || getAsked_) tellKit();
    lv2_atom_forge_pop(&forge_, &sequence);
    LV2_Atom made{};
    std::memcpy(&made, notifyBuffer_.data(), sizeof made);
    std::memcpy(notifyOut_, notifyBuffer_.data(), std::min(sizeof made + made.size, room));
  }
  scheduleCollect(frames);
}

// The host's sequence is read by copying, as jalv, for one, hands it over at an address that
// is not a multiple of eight, where the atom structures may not be read in place.
void Plugin::readControl(uint32_t frames) noexcept {
  const uint32_t last = frames > 0 ? frames - 1 : 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(controlIn_);
  LV2_Atom sequence{};
  std::memcpy(&sequence, bytes, sizeof sequence);
  const std::size_t end = sizeof sequence + sequence.size;
  std::size_t at = sizeof sequence + sizeof(LV2_Atom_Sequence_Body);
  while (at + sizeof(LV2_Atom_Event) <= end) {
    LV2_Atom_Event ev{};
    std::memcpy(&ev, bytes + at, sizeof ev);
    const std::size_t body = at + sizeof ev;
    if (ev.body.size > end - body) return;
    const auto frame = uint32_t(std::clamp<int64_t>(ev.time.frames, 0, last));
    if (ev.body.type == uris_.midiEvent) {
      readMidi(bytes + body, ev.body.size, frame);
    } else if (ev.body.type == uris_.atomObject &&
               sizeof(LV2_Atom) + ev.body.size <= sizeof message_) {
      std::memcpy(message_.data(), &ev.body, sizeof(LV2_Atom));
      std::memcpy(reinterpret_cast<uint8_t*>(message_.data()) + sizeof(LV2_Atom), bytes + body,
                  ev.body.size);
      readPatch(*reinterpret_cast<const LV2_Atom_Object*>(message_.data()));
    }
    at = body + lv2_atom_pad_size(ev.body.size);
  }
}

// Note-ons on every channel, as the program takes them; velocity 0 goes on to the engine,
// which knows it for a note off.
void Plugin::readMidi(const uint8_t* bytes, uint32_t size, uint32_t frame) noexcept {
  if (size < 3 || (bytes[0] & 0xF0) != 0x90) return;
  queueNote(engine::Event::noteOn(bytes[1] & 0x7F, int16_t(bytes[2] & 0x7F), frame));
}

void Plugin::queueNote(const engine::Event& note) noexcept {
  engine::Event e = note;
  e.frame = std::max(e.frame, lastFrame_);
  lastFrame_ = e.frame;
  // A block with more notes than there is room for sounds up to this one first.
  if (eventCount_ == kMostEvents) renderUntil(e.frame);
  if (eventCount_ == kMostEvents) return;  // all of them at this one frame: past any drummer
  events_[eventCount_++] = e;
}

void Plugin::readPatch(const LV2_Atom_Object& object) noexcept {
  const LV2_Atom* property = nullptr;
  const LV2_Atom* value = nullptr;
  lv2_atom_object_get(&object, uris_.patchProperty, &property, uris_.patchValue, &value, 0);
  const bool aboutKit =
      property == nullptr || (property->type == uris_.atomUrid &&
                              reinterpret_cast<const LV2_Atom_URID*>(property)->body == uris_.kit);
  if (object.body.otype == uris_.patchGet) {
    if (aboutKit) getAsked_ = true;
    return;
  }
  if (object.body.otype != uris_.patchSet || property == nullptr || !aboutKit) return;
  const char* path = pathIn(value, uris_.atomPath);
  if (path == nullptr) return;
  Message m{Kind::Load, {}};
  const std::size_t length = std::strlen(path);
  if (length >= sizeof m.path) return;
  std::memcpy(m.path, path, length + 1);
  schedule_.schedule_work(schedule_.handle, sizeOf(m), &m);
}

void Plugin::renderUntil(uint32_t frame) noexcept {
  while (rendered_ < frame) {
    const uint32_t n = std::min(kChunk, frame - rendered_);
    std::size_t due = 0;
    while (due < eventCount_ && events_[due].frame < rendered_ + n) ++due;
    renderChunk(n, due);
  }
}

// Renders n frames from rendered_ with the first `events` notes queued, which then leave the
// queue, and copies them out to the ports.
void Plugin::renderChunk(uint32_t n, std::size_t events) noexcept {
  for (std::size_t i = 0; i < events; ++i) events_[i].frame -= rendered_;
  const std::span<const engine::Event> due(events_.data(), events);
  if (padOutputs_)
    engine_.render(mix_.data(), n, due, busPointers_);
  else
    engine_.render(mix_.data(), n, due);
  std::move(events_.begin() + std::ptrdiff_t(events), events_.begin() + std::ptrdiff_t(eventCount_),
            events_.begin());
  eventCount_ -= events;
  const auto copyOut = [&](const float* from, float* left, float* right) {
    if (left == nullptr || right == nullptr) return;
    for (uint32_t i = 0; i < n; ++i) {
      left[rendered_ + i] = from[2 * i];
      right[rendered_ + i] = from[2 * i + 1];
    }
  };
  copyOut(mix_.data(), audio_[0], audio_[1]);
  if (padOutputs_)
    for (uint32_t p = 0; p < kPads; ++p)
      copyOut(buses_[p].data(), audio_[2 + 2 * p], audio_[3 + 2 * p]);
  rendered_ += n;
}

// Tells the host which kit plays, as the answer to patch:Get or after a kit was loaded.
void Plugin::tellKit() noexcept {
  LV2_Atom_Forge_Frame object{};
  if (lv2_atom_forge_frame_time(&forge_, 0) == 0) return;  // no room: told next block
  lv2_atom_forge_object(&forge_, &object, 0, uris_.patchSet);
  lv2_atom_forge_key(&forge_, uris_.patchProperty);
  lv2_atom_forge_urid(&forge_, uris_.kit);
  lv2_atom_forge_key(&forge_, uris_.patchValue);
  const LV2_Atom_Forge_Ref written =
      lv2_atom_forge_path(&forge_, kitPath_.data(), uint32_t(std::strlen(kitPath_.data())));
  lv2_atom_forge_pop(&forge_, &object);
  if (written != 0) tellKit_ = getAsked_ = false;
}

// What the engine hands back is freed on the worker, a few times a second while there is any.
void Plugin::scheduleCollect(uint32_t frames) noexcept {
  sinceCollect_ += frames;
  if (sinceCollect_ < rate_ / 8 || !garbage_.load(std::memory_order_acquire)) return;
  sinceCollect_ = 0;
  const Kind kind = Kind::Collect;
  schedule_.schedule_work(schedule_.handle, sizeof kind, &kind);
}

LV2_Worker_Status Plugin::work(LV2_Worker_Respond_Function respond,
                               LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  if (size < sizeof(Kind) || size > sizeof(Message)) return LV2_WORKER_ERR_UNKNOWN;
  Message m{};
  std::memcpy(&m, data, size);
  m.path[sizeof m.path - 1] = '\0';
  try {
    const std::lock_guard lock(control_);
    if (m.kind == Kind::Collect) {
      engine_.collect();
      garbage_.store(engine_.holding(), std::memory_order_release);
      return LV2_WORKER_SUCCESS;
    }
    if (m.kind != Kind::Load || !loadKit(m.path, false)) return LV2_WORKER_SUCCESS;
    if (path_.size() >= sizeof m.path) return LV2_WORKER_SUCCESS;
    std::memcpy(m.path, path_.c_str(), path_.size() + 1);
  } catch (const std::exception& e) {
    lv2_log_error(&logger_, "VarnKit could not load the kit %s: %s\n", m.path, e.what());
    return LV2_WORKER_ERR_UNKNOWN;
  }
  m.kind = Kind::Loaded;
  return respond(handle, sizeOf(m), &m);
}

LV2_Worker_Status Plugin::workResponse(uint32_t size, const void* data) noexcept {
  if (size < sizeof(Kind) || size > sizeof(Message)) return LV2_WORKER_ERR_UNKNOWN;
  Message m{};
  std::memcpy(&m, data, size);
  if (m.kind != Kind::Loaded) return LV2_WORKER_SUCCESS;
  m.path[sizeof m.path - 1] = '\0';
  std::memcpy(kitPath_.data(), m.path, std::strlen(m.path) + 1);
  tellKit_ = true;
  return LV2_WORKER_SUCCESS;
}

LV2_State_Status Plugin::save(LV2_State_Store_Function store, LV2_State_Handle handle,
                              const LV2_Feature* const* features) {
  std::string path;
  {
    const std::lock_guard lock(control_);
    path = path_;
  }
  if (path.empty()) return LV2_STATE_SUCCESS;
  // The host's own form of the path, which still finds the kit when its session moves.
  const std::string value = hostPath(features, path.c_str(), true);
  return store(handle, uris_.kit, value.c_str(), value.size() + 1, uris_.atomPath,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status Plugin::restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                                 const LV2_Feature* const* features) {
  std::size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const auto* value = static_cast<const char*>(retrieve(handle, uris_.kit, &size, &type, &flags));
  std::string path;
  if (value != nullptr && type == uris_.atomPath && size > 0 && value[size - 1] == '\0')
    path = hostPath(features, value, false);
  if (path.size() >= kMostPathBytes) {
    lv2_log_error(&logger_, "VarnKit cannot load a kit whose path is this long: %s\n",
                  path.c_str());
    path.clear();
  }
  try {
    const std::lock_guard lock(control_);
    if (path.empty()) {
      silence();
      path_.clear();
    } else {
      loadKit(path, true);
    }
  } catch (const std::exception& e) {
    lv2_log_error(&logger_, "VarnKit could not load the kit %s: %s\n", path.c_str(), e.what());
    return LV2_STATE_ERR_UNKNOWN;
  }
  // A host may restore a preset while run() goes on: the path reaches it through a queue.
  std::array<char, kMostPathBytes> told{};
  {
    const std::lock_guard lock(control_);
    std::memcpy(told.data(), path_.c_str(), std::min(path_.size(), told.size() - 1));
  }
  restoredPaths_.push(told);  // full: run() has not caught up, and will tell an older path
  return LV2_STATE_SUCCESS;
}

bool Plugin::loadKit(const std::string& asked, bool silenceOnFailure) {
  // Hosts keep a link to the kit file in their session: the samples are beside the file the
  // link leads to.
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::weakly_canonical(asked, ec);
  const std::string path = ec ? asked : real.string();
  kitload::KitLoad load = kitload::LoadEngineKit(path, rate_);
  if (!load.kit) {
    lv2_log_error(&logger_, "VarnKit could not load the kit %s: %s\n", path.c_str(),
                  load.error.c_str());
    if (silenceOnFailure) {
      silence();
      path_ = path;  // saved again as it was, should the kit come back
    }
    return false;
  }
  for (const std::string& note : load.kit->notes)
    lv2_log_warning(&logger_, "VarnKit, kit %s: %s\n", path.c_str(), note.c_str());
  // The program takes any text for a kit file; a host's user who picked the wrong file
  // should hear why nothing sounds.
  if (load.kit->voices.empty())
    lv2_log_warning(&logger_, "VarnKit, kit %s: no pad of it has a sample to play.\n",
                    path.c_str());
  adopt(std::move(load.kit->voices), std::move(load.kit->description));
  path_ = path;
  return true;
}

void Plugin::silence() {
  auto empty = std::make_unique<engine::KitDescription>();
  empty->pads.resize(kPads);
  adopt({}, std::move(empty));
}

// The engine plays the new kit from its next block on; the old kit's voices are freed once
// it has let go of them.
void Plugin::adopt(std::vector<std::unique_ptr<engine::Voice>> voices,
                   std::unique_ptr<engine::KitDescription> description) {
  engine_.publish(std::move(description));
  for (auto& v : voices_) engine_.release(v.release());
  voices_ = std::move(voices);
  engine_.collect();
  garbage_.store(engine_.holding(), std::memory_order_release);
}

}  // namespace varnkit::lv2
