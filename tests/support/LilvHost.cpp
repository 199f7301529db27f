#include "tests/support/LilvHost.h"

#include "tests/support/CountingNew.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace varnkit::testing {
namespace {

constexpr std::size_t kAtomBytes = 1 << 16;

}  // namespace

LilvWorld::LilvWorld() {
  // The bundle as built, before any installed copy; the system's folder gives the LV2 core.
  setenv("LV2_PATH", VARNKIT_LV2_PATH ":/usr/lib/lv2", 1);
  world_ = lilv_world_new();
  lilv_world_load_all(world_);
  map_ = {this, [](LV2_URID_Map_Handle self, const char* uri) {
            return static_cast<LilvWorld*>(self)->map(uri);
          }};
  unmap_ = {this, [](LV2_URID_Unmap_Handle self, LV2_URID urid) {
              return static_cast<LilvWorld*>(self)->unmap(urid);
            }};
}

LilvWorld::~LilvWorld() {
  lilv_world_free(world_);
}

const LilvPlugin* LilvWorld::plugin(const std::string& uri) const {
  LilvNode* node = lilv_new_uri(world_, uri.c_str());
  const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world_), node);
  lilv_node_free(node);
  return found;
}

LV2_URID LilvWorld::map(const std::string& uri) {
  const auto [it, added] = ids_.emplace(uri, LV2_URID(uris_.size() + 1));
  if (added) uris_.push_back(uri);
  return it->second;
}

const char* LilvWorld::unmap(LV2_URID urid) const {
  return urid >= 1 && urid <= uris_.size() ? uris_[urid - 1].c_str() : nullptr;
}

LilvPluginHost::LilvPluginHost(LilvWorld& world, const std::string& uri, double rate,
                               uint32_t maxFrames)
    : world_(world),
      plugin_(world.plugin(uri)),
      control_(kAtomBytes / 8),
      notify_(kAtomBytes / 8),
      controlPort_(kAtomBytes + 8),
      notifyPort_(kAtomBytes + 8) {
  if (plugin_ == nullptr) return;
  jobs_.reserve(kAtomBytes);
  scheduleFeature_ = {this, schedule};
  logFeature_ = {this, printf, vprintf};
  std::vector<const LV2_Feature*> list = features();
  instance_ = lilv_plugin_instantiate(plugin_, rate, list.data());
  if (instance_ == nullptr) return;
  worker_ = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(instance_, LV2_WORKER__interface));
  lv2_atom_forge_init(&forge_, world_.mapFeature());
  LilvNode* audioClass = lilv_new_uri(world_.world(), LV2_CORE__AudioPort);
  LilvNode* input = lilv_new_uri(world_.world(), LV2_CORE__InputPort);
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin_); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin_, i);
    if (lilv_port_is_a(plugin_, port, audioClass)) {
      audio_.emplace_back(maxFrames);
      lilv_instance_connect_port(instance_, i, audio_.back().data());
    } else if (lilv_port_is_a(plugin_, port, input)) {
      lilv_instance_connect_port(instance_, i, controlPort_.data() + 4);
    } else {
      lilv_instance_connect_port(instance_, i, notifyPort_.data() + 4);
    }
  }
  lilv_node_free(audioClass);
  lilv_node_free(input);
  recorded_.resize(audio_.size());
  startControl();
  activate();
}

LilvPluginHost::~LilvPluginHost() {
  if (instance_ == nullptr) return;
  deactivate();
  lilv_instance_free(instance_);
}

std::vector<const LV2_Feature*> LilvPluginHost::features() {
  featureList_ = {{LV2_URID__map, world_.mapFeature()},
                  {LV2_URID__unmap, world_.unmapFeature()},
                  {LV2_WORKER__schedule, &scheduleFeature_},
                  {LV2_LOG__log, &logFeature_}};
  std::vector<const LV2_Feature*> list;
  for (const LV2_Feature& f : featureList_) list.push_back(&f);
  list.push_back(nullptr);
  return list;
}

void LilvPluginHost::activate() {
  if (!active_) lilv_instance_activate(instance_);
  active_ = true;
}

void LilvPluginHost::deactivate() {
  if (active_) lilv_instance_deactivate(instance_);
  active_ = false;
}

void LilvPluginHost::startControl() {
  lv2_atom_forge_set_buffer(&forge_, reinterpret_cast<uint8_t*>(control_.data()), kAtomBytes);
  lv2_atom_forge_sequence_head(&forge_, &sequence_, 0);
}

void LilvPluginHost::noteOn(uint8_t note, uint8_t velocity, uint32_t frame, uint8_t channel) {
  const uint8_t bytes[3] = {uint8_t(0x90 | channel), note, velocity};
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_atom(&forge_, 3, world_.map(LV2_MIDI__MidiEvent));
  lv2_atom_forge_write(&forge_, bytes, 3);
}

void LilvPluginHost::setKit(const std::string& path, uint32_t frame) {
  LV2_Atom_Forge_Frame object;
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_object(&forge_, &object, 0, world_.map(LV2_PATCH__Set));
  lv2_atom_forge_key(&forge_, world_.map(LV2_PATCH__property));
  lv2_atom_forge_urid(&forge_, world_.map("https://varnkit.org/lv2/varnkit#kit"));
  lv2_atom_forge_key(&forge_, world_.map(LV2_PATCH__value));
  lv2_atom_forge_path(&forge_, path.c_str(), uint32_t(path.size()));
  lv2_atom_forge_pop(&forge_, &object);
}

void LilvPluginHost::getKit(uint32_t frame) {
  LV2_Atom_Forge_Frame object;
  lv2_atom_forge_frame_time(&forge_, frame);
  lv2_atom_forge_object(&forge_, &object, 0, world_.map(LV2_PATCH__Get));
  lv2_atom_forge_pop(&forge_, &object);
}

void LilvPluginHost::run(uint32_t frames) {
  if (!audio_.empty() && frames > audio_[0].size())
    throw std::invalid_argument("a block longer than the host's buffers");
  lv2_atom_forge_pop(&forge_, &sequence_);
  // The notify port's buffer tells its capacity, as hosts do.
  auto* out = reinterpret_cast<LV2_Atom_Sequence*>(notify_.data());
  out->atom.type = world_.map(LV2_ATOM__Chunk);
  out->atom.size = kAtomBytes - sizeof(LV2_Atom);
  std::memcpy(controlPort_.data() + 4, control_.data(), kAtomBytes);
  std::memcpy(notifyPort_.data() + 4, notify_.data(), kAtomBytes);
  {
    const AllocationCounter counter;
    lilv_instance_run(instance_, frames);
    runAllocations_ += counter.count();
  }
  std::memcpy(notify_.data(), notifyPort_.data() + 4, kAtomBytes);
  for (std::size_t i = 0; i < audio_.size(); ++i)
    recorded_[i].insert(recorded_[i].end(), audio_[i].begin(), audio_[i].begin() + frames);
  readNotify();
  startControl();
  // The worker's jobs, and then their responses, as a host gives them between blocks.
  for (std::size_t at = 0; at < jobs_.size();) {
    uint32_t size = 0;
    std::memcpy(&size, jobs_.data() + at, sizeof size);
    worker_->work(lilv_instance_get_handle(instance_), respond, this, size,
                  jobs_.data() + at + sizeof size);
    at += sizeof size + size;
  }
  jobs_.clear();
  for (const auto& response : std::exchange(responses_, {}))
    worker_->work_response(lilv_instance_get_handle(instance_), uint32_t(response.size()),
                           response.data());
}

void LilvPluginHost::readNotify() {
  const auto* seq = reinterpret_cast<const LV2_Atom_Sequence*>(notify_.data());
  if (seq->atom.type != world_.map(LV2_ATOM__Sequence)) return;
  LV2_ATOM_SEQUENCE_FOREACH(seq, ev) {
    if (ev->body.type != world_.map(LV2_ATOM__Object)) continue;
    const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(object, world_.map(LV2_PATCH__value), &value, 0);
    if (object->body.otype == world_.map(LV2_PATCH__Set) && value != nullptr &&
        value->type == world_.map(LV2_ATOM__Path))
      toldKits_.emplace_back(static_cast<const char*>(LV2_ATOM_BODY_CONST(value)));
  }
}

LV2_Worker_Status LilvPluginHost::schedule(LV2_Worker_Schedule_Handle self, uint32_t size,
                                           const void* data) {
  std::vector<uint8_t>& jobs = static_cast<LilvPluginHost*>(self)->jobs_;
  if (jobs.size() + sizeof size + size > jobs.capacity()) return LV2_WORKER_ERR_NO_SPACE;
  const auto* bytes = static_cast<const uint8_t*>(data);
  jobs.insert(jobs.end(), reinterpret_cast<const uint8_t*>(&size),
              reinterpret_cast<const uint8_t*>(&size) + sizeof size);
  jobs.insert(jobs.end(), bytes, bytes + size);
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status LilvPluginHost::respond(LV2_Worker_Respond_Handle self, uint32_t size,
                                          const void* data) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  static_cast<LilvPluginHost*>(self)->responses_.emplace_back(bytes, bytes + size);
  return LV2_WORKER_SUCCESS;
}

int LilvPluginHost::vprintf(LV2_Log_Handle self, LV2_URID, const char* fmt, va_list ap) {
  char text[8192];
  const int n = std::vsnprintf(text, sizeof text, fmt, ap);
  static_cast<LilvPluginHost*>(self)->log_.emplace_back(text);
  return n;
}

int LilvPluginHost::printf(LV2_Log_Handle self, LV2_URID type, const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  const int n = vprintf(self, type, fmt, ap);
  va_end(ap);
  return n;
}

bool LilvPluginHost::saveState(const std::filesystem::path& dir) {
  std::vector<const LV2_Feature*> list = features();
  const std::string d = dir.string();
  LilvState* state = lilv_state_new_from_instance(
      plugin_, instance_, world_.mapFeature(), nullptr, d.c_str(), d.c_str(), d.c_str(),
      [](const char*, void*, uint32_t*, uint32_t*) -> const void* { return nullptr; }, nullptr,
      LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, list.data());
  if (state == nullptr) return false;
  const int failed = lilv_state_save(world_.world(), world_.mapFeature(), world_.unmapFeature(),
                                     state, nullptr, d.c_str(), "state.ttl");
  lilv_state_free(state);
  return failed == 0;
}

bool LilvPluginHost::restoreState(const std::filesystem::path& stateFile) {
  LilvState* state = lilv_state_new_from_file(world_.world(), world_.mapFeature(), nullptr,
                                              stateFile.string().c_str());
  if (state == nullptr) return false;
  std::vector<const LV2_Feature*> list = features();
  lilv_state_restore(state, instance_, nullptr, nullptr, 0, list.data());
  lilv_state_free(state);
  return true;
}

}  // namespace varnkit::testing
