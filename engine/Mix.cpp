#include "engine/Mix.h"

#include <algorithm>

namespace varnkit::engine {

// Two loops with a constant gain so the compiler can vectorise them.
void addFrames(const Sample& s, uint64_t from, uint32_t n, float g, float step,
               float* out) noexcept {
  const float* src = s.samples.data() + from * s.channels;
  if (step == 0.0f) {
    if (s.channels == 1) {
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
    const float l = src[i * s.channels];
    const float r = src[i * s.channels + s.channels - 1];
    out[2 * i] += gi * l;
    out[2 * i + 1] += gi * r;
  }
}

void clip(float* out, std::size_t n) noexcept {
  for (std::size_t i = 0; i < n; ++i) out[i] = std::clamp(out[i], -1.0f, 1.0f);
}

}  // namespace varnkit::engine
