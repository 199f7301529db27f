#include "platform/com/Guid.h"

#include <cstdio>

#include "platform/com/Result.h"

namespace varnkit::com {

std::string toString(const GUID& id) {
  char text[39];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                unsigned(id.Data1), unsigned(id.Data2), unsigned(id.Data3), id.Data4[0],
                id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                id.Data4[7]);
  return text;
}

std::string resultText(HRESULT hr) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", unsigned(hr));
  return text;
}

}  // namespace varnkit::com
