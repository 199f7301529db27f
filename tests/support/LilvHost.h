#pragma once
// An LV2 host inside the test process, through lilv: it finds the plugins as any host does,
// gives them the features they ask for, sends MIDI notes and patch messages at chosen frames,
// runs blocks, and does the worker's jobs between blocks, as a host's worker thread would,
// but at a moment the test knows.

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace varnkit::testing {

// The world of plugins under the build's bundle folder (and the system's, for the LV2 core).
class LilvWorld {
 public:
  LilvWorld();
  ~LilvWorld();
  LilvWorld(const LilvWorld&) = delete;
  LilvWorld& operator=(const LilvWorld&) = delete;

  ::LilvWorld* world() const { return world_; }
  // The plugin, or null when no bundle declares it.
  const LilvPlugin* plugin(const std::string& uri) const;
  LV2_URID map(const std::string& uri);
  const char* unmap(LV2_URID urid) const;
  LV2_URID_Map* mapFeature() { return &map_; }
  LV2_URID_Unmap* unmapFeature() { return &unmap_; }

 private:
  ::LilvWorld* world_;
  std::map<std::string, LV2_URID> ids_;
  std::vector<std::string> uris_;
  LV2_URID_Map map_;
  LV2_URID_Unmap unmap_;
};

class LilvPluginHost {
 public:
  // Instantiates the plugin at rate, for blocks of up to maxFrames, and activates it.
  LilvPluginHost(LilvWorld& world, const std::string& uri, double rate, uint32_t maxFrames);
  ~LilvPluginHost();
  LilvPluginHost(const LilvPluginHost&) = delete;
  LilvPluginHost& operator=(const LilvPluginHost&) = delete;

  bool ok() const { return instance_ != nullptr; }
  uint32_t audioOutputs() const { return uint32_t(audio_.size()); }

  // Queued for the next block, at a frame inside it.
  void noteOn(uint8_t note, uint8_t velocity, uint32_t frame, uint8_t channel = 0);
  void setKit(const std::string& path, uint32_t frame = 0);
  void getKit(uint32_t frame = 0);
  // Runs one block with what is queued, then does the worker's jobs it scheduled; the block's
  // audio outputs are appended to recorded(port).
  void run(uint32_t frames);

  // What each audio output gave, from the first block on.
  const std::vector<float>& recorded(uint32_t output) const { return recorded_[output]; }
  // The kit paths the plugin told of on its notify port, in order.
  const std::vector<std::string>& toldKits() const { return toldKits_; }
  // Allocations the plugin made inside run(), over every block so far.
  long runAllocations() const { return runAllocations_; }
  // What the plugin logged, one entry a message.
  const std::vector<std::string>& log() const { return log_; }

  // The plugin's state, saved into dir/state.ttl, and restored from a state file.
  bool saveState(const std::filesystem::path& dir);
  bool restoreState(const std::filesystem::path& stateFile);

  void activate();
  void deactivate();

 private:
  static LV2_Worker_Status schedule(LV2_Worker_Schedule_Handle self, uint32_t size,
                                    const void* data);
  static LV2_Worker_Status respond(LV2_Worker_Respond_Handle self, uint32_t size, const void* data);
  static int vprintf(LV2_Log_Handle self, LV2_URID type, const char* fmt, va_list ap);
  static int printf(LV2_Log_Handle self, LV2_URID type, const char* fmt, ...);
  void startControl();
  void readNotify();
  std::vector<const LV2_Feature*> features();

  LilvWorld& world_;
  const LilvPlugin* plugin_;
  LilvInstance* instance_ = nullptr;
  const LV2_Worker_Interface* worker_ = nullptr;
  LV2_Worker_Schedule scheduleFeature_;
  LV2_Log_Log logFeature_;
  std::vector<LV2_Feature> featureList_;
  std::vector<uint8_t> jobs_;  // each a size, then its bytes; room made once, as a host's ring
  std::vector<std::vector<uint8_t>> responses_;
  std::vector<uint64_t> control_, notify_;  // atom sequences, 8-byte aligned
  // What the plugin is given: the same, four bytes off alignment, as jalv 1.6 gives them.
  std::vector<uint8_t> controlPort_, notifyPort_;
  LV2_Atom_Forge forge_;
  LV2_Atom_Forge_Frame sequence_;
  std::vector<std::vector<float>> audio_;
  std::vector<std::vector<float>> recorded_;
  std::vector<std::string> toldKits_;
  std::vector<std::string> log_;
  bool active_ = false;
  long runAllocations_ = 0;
};

}  // namespace varnkit::testing
