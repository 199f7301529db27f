// The two plugins of the bundle, as the host finds them: one stereo, one with an output of
// its own for each pad as well.

#include <lv2/core/lv2.h>

#include <new>

#include "plugin/lv2/Plugin.h"

namespace varnkit::lv2 {
namespace {

Plugin& self(LV2_Handle handle) {
  return *static_cast<Plugin*>(handle);
}

LV2_Handle instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const* features) {
  const bool padOutputs = std::string_view(descriptor->URI) == kMultiUri;
  try {
    return Plugin::create(rate, features, padOutputs).release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void connectPort(LV2_Handle h, uint32_t port, void* data) {
  self(h).connect(port, data);
}
void activate(LV2_Handle h) {
  self(h).activate();
}
void run(LV2_Handle h, uint32_t frames) {
  self(h).run(frames);
}
void deactivate(LV2_Handle) {}
void cleanup(LV2_Handle h) {
  delete &self(h);
}

LV2_Worker_Status work(LV2_Handle h, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  return self(h).work(respond, handle, size, data);
}

LV2_Worker_Status workResponse(LV2_Handle h, uint32_t size, const void* data) {
  return self(h).workResponse(size, data);
}

LV2_State_Status save(LV2_Handle h, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const* features) {
  try {
    return self(h).save(store, handle, features);
  } catch (const std::exception&) {
    return LV2_STATE_ERR_UNKNOWN;  // nothing may unwind into the host
  }
}

LV2_State_Status restore(LV2_Handle h, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const* features) {
  return self(h).restore(retrieve, handle, features);
}

const void* extensionData(const char* uri) {
  static const LV2_Worker_Interface worker{work, workResponse, nullptr};
  static const LV2_State_Interface state{save, restore};
  const std::string_view asked(uri);
  if (asked == LV2_WORKER__interface) return &worker;
  if (asked == LV2_STATE__interface) return &state;
  return nullptr;
}

const LV2_Descriptor kDescriptors[] = {
    {kStereoUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData},
    {kMultiUri, instantiate, connectPort, activate, run, deactivate, cleanup, extensionData},
};

}  // namespace
}  // namespace varnkit::lv2

LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  const auto& all = varnkit::lv2::kDescriptors;
  return index < std::size(all) ? &all[index] : nullptr;
}
