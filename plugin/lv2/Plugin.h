#pragma once
// One instance of the VarnKit instrument in a host. The host's audio thread calls run(); the
// kit is read and decoded on the host's worker thread (or in restore), which is the engine's
// control thread; what run() needs of it arrives through the worker's responses.

#include <lv2/atom/forge.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "engine/Engine.h"
#include "plugin/lv2/Uris.h"

namespace varnkit::lv2 {

class Plugin {
 public:
  static constexpr uint32_t kPads = 9;
  static constexpr std::size_t kMostPathBytes = 4096;  // a longer kit path is refused
  enum Port : uint32_t { Control, Notify, OutLeft, OutRight, FirstPad };

  // The host's instantiate(); null, with the reason logged, when a required feature is missing.
  static std::unique_ptr<Plugin> create(double rate, const LV2_Feature* const* features,
                                        bool padOutputs);
  ~Plugin();
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  uint32_t ports() const noexcept { return padOutputs_ ? FirstPad + 2 * kPads : FirstPad; }
  // Audio or instantiation thread, as the host connects ports.
  void connect(uint32_t port, void* data) noexcept;
  // Instantiation thread: whatever sounded before falls silent.
  void activate();
  // Audio thread.
  void run(uint32_t frames) noexcept;

  // Worker thread.
  LV2_Worker_Status work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                         uint32_t size, const void* data);
  // Audio thread, as the host hands back what work() responded.
  LV2_Worker_Status workResponse(uint32_t size, const void* data) noexcept;

  // Any thread but the audio thread.
  LV2_State_Status save(LV2_State_Store_Function store, LV2_State_Handle handle,
                        const LV2_Feature* const* features);
  // Any thread but the audio thread, one restore at a time; run() may go on meanwhile.
  LV2_State_Status restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                           const LV2_Feature* const* features);

 private:
  static constexpr uint32_t kChunk = 256;           // frames rendered at a time
  static constexpr std::size_t kMostEvents = 512;   // notes waiting inside one run() block
  static constexpr std::size_t kAtomBytes = 16384;  // the atom ports' size the bundle asks for

  Plugin(uint32_t rate, const LV2_URID_Map& map, const LV2_Worker_Schedule& schedule,
         LV2_Log_Log* log, bool padOutputs);

  void readControl(uint32_t frames) noexcept;
  void readMidi(const uint8_t* bytes, uint32_t size, uint32_t frame) noexcept;
  void readPatch(const LV2_Atom_Object& object) noexcept;
  void queueNote(const engine::Event& note) noexcept;
  void renderUntil(uint32_t frame) noexcept;
  void renderChunk(uint32_t n, std::size_t events) noexcept;
  void tellKit() noexcept;
  void scheduleCollect(uint32_t frames) noexcept;

  // Control side, under control_.
  bool loadKit(const std::string& asked, bool silenceOnFailure);
  void silence();
  void adopt(std::vector<std::unique_ptr<engine::Voice>> voices,
             std::unique_ptr<engine::KitDescription> description);

  Uris uris_;
  LV2_Worker_Schedule schedule_;
  LV2_Log_Logger logger_{};
  bool padOutputs_;
  uint32_t rate_;

  std::mutex control_;  // the threads that are not the audio thread: worker, state, activate
  engine::Engine engine_;
  std::vector<std::unique_ptr<engine::Voice>> voices_;  // the current kit's, under control_
  std::string path_;                                    // the current kit, under control_
  std::atomic<bool> garbage_{false};  // the engine has something for the control side to free
  // The kit a restore() loaded, for run() to tell; only restore() pushes.
  engine::SpscQueue<std::array<char, kMostPathBytes>, 4> restoredPaths_;

  // Audio thread only from here on.
  const LV2_Atom_Sequence* controlIn_ = nullptr;
  LV2_Atom_Sequence* notifyOut_ = nullptr;
  std::array<float*, 2 + 2 * kPads> audio_{};
  LV2_Atom_Forge forge_{};
  std::array<uint64_t, kAtomBytes / 8> notifyBuffer_{};  // what run() tells, made aligned
  std::array<uint64_t, kAtomBytes / 8> message_{};       // a patch message, copied aligned
  std::array<char, kMostPathBytes> kitPath_{};           // what patch:Get is answered with
  bool tellKit_ = false;
  bool getAsked_ = false;
  uint32_t sinceCollect_ = 0;
  uint32_t rendered_ = 0;   // frames of this run() block rendered so far
  uint32_t lastFrame_ = 0;  // of the last note queued in this block: notes never go back
  std::array<engine::Event, kMostEvents> events_{};
  std::size_t eventCount_ = 0;
  std::vector<float> mix_;                       // interleaved, kChunk frames; sized once
  std::array<std::vector<float>, kPads> buses_;  // the same for each pad
  std::array<float*, kPads> busPointers_{};
};

}  // namespace varnkit::lv2
