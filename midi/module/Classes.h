#pragma once
// The four classes the module serves, with what registration writes for each.

#include <cstdint>
#include <optional>
#include <span>

#include "platform/com/ClassFactory.h"
#include "platform/com/Guid.h"

namespace varnkit::midictl {

inline constexpr com::CLSID kInPropPage = com::guid("{EE5F8E45-FCBB-11D3-B76C-DC249AF7BE36}");
inline constexpr com::CLSID kOutPropPage = com::guid("{EE5F8E49-FCBB-11D3-B76C-DC249AF7BE36}");

struct ServedClass {
  com::CLSID clsid;
  const char* progId;
  const char* typeName;
  bool control;
  uint32_t toolboxBitmap;  // 0: none
  std::optional<uint32_t> miscStatus;
  std::optional<com::CLSID> propertyPage;
  com::ClassFactory* factory;
};

// The controls' status bits: recompose on resize, can't link inside, inside-out, activate
// when visible, invisible at run time, set client site first; the input control is a
// simple frame as well.
inline constexpr uint32_t kInMiscStatus = 0x30591;
inline constexpr uint32_t kOutMiscStatus = 0x20591;

std::span<const ServedClass> servedClasses();

}  // namespace varnkit::midictl
