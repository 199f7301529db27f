#pragma once
// The URIs the plugin speaks, mapped once when it is made.

#include <lv2/atom/atom.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/urid/urid.h>

namespace varnkit::lv2 {

inline constexpr const char* kStereoUri = "https://varnkit.org/lv2/varnkit";
inline constexpr const char* kMultiUri = "https://varnkit.org/lv2/varnkit-multi";
// The kit file: the plugins' one parameter, and its key in a saved state.
inline constexpr const char* kKitUri = "https://varnkit.org/lv2/varnkit#kit";

struct Uris {
  explicit Uris(const LV2_URID_Map& map)
      : atomPath(map.map(map.handle, LV2_ATOM__Path)),
        atomObject(map.map(map.handle, LV2_ATOM__Object)),
        atomUrid(map.map(map.handle, LV2_ATOM__URID)),
        midiEvent(map.map(map.handle, LV2_MIDI__MidiEvent)),
        patchGet(map.map(map.handle, LV2_PATCH__Get)),
        patchSet(map.map(map.handle, LV2_PATCH__Set)),
        patchProperty(map.map(map.handle, LV2_PATCH__property)),
        patchValue(map.map(map.handle, LV2_PATCH__value)),
        kit(map.map(map.handle, kKitUri)) {}

  LV2_URID atomPath, atomObject, atomUrid, midiEvent;
  LV2_URID patchGet, patchSet, patchProperty, patchValue;
  LV2_URID kit;
};

}  // namespace varnkit::lv2
