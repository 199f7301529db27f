#include "engine/Mix.h"

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace varnkit::engine {
namespace {

// One loop per channel count and per kind of gain, with no pointer that may alias another, so
// the compiler vectorises each. Every sample still gets the same multiply and add, in the same
// order, as a plain loop would give it: vectorising changes no result. An index that cannot
// wrap (size_t, or a signed one) lets the compiler see the accesses as consecutive.

void addMono(const float* __restrict src, std::size_t n, float g, float* __restrict out) noexcept {
  for (std::size_t i = 0; i < n; ++i) {
    const float v = g * src[i];
    out[2 * i] += v;
    out[2 * i + 1] += v;
  }
}

void addStereo(const float* __restrict src, std::size_t n, float g,
               float* __restrict out) noexcept {
  for (std::size_t i = 0; i < 2 * n; ++i) out[i] += g * src[i];
}

// The gain of frame i is g + step * (i + 1), worked out afresh for each frame rather than
// stepped, so a long ramp does not drift. The index is signed: only a signed integer converts
// to float in one vector instruction.
void rampMono(const float* __restrict src, int32_t n, float g, float step,
              float* __restrict out) noexcept {
  for (int32_t i = 0; i < n; ++i) {
    const float gi = g + step * float(i + 1);
    const float v = gi * src[i];
    out[2 * i] += v;
    out[2 * i + 1] += v;
  }
}

void rampStereo(const float* __restrict src, int32_t n, float g, float step,
                float* __restrict out) noexcept {
  for (int32_t i = 0; i < n; ++i) {
    const float gi = g + step * float(i + 1);
    out[2 * i] += gi * src[2 * i];
    out[2 * i + 1] += gi * src[2 * i + 1];
  }
}

}  // namespace

void addFrames(const Sample& s, uint64_t from, uint32_t n, float g, float step,
               float* out) noexcept {
  const float* src = s.samples.data() + from * s.channels;
  const bool mono = s.channels == 1;
  if (step == 0.0f) {
    if (mono)
      addMono(src, n, g, out);
    else
      addStereo(src, n, g, out);
  } else if (mono) {
    rampMono(src, int32_t(n), g, step, out);
  } else {
    rampStereo(src, int32_t(n), g, step, out);
  }
}

void clip(float* out, std::size_t n) noexcept {
  std::size_t i = 0;
#if defined(__SSE2__)
  // The compiler vectorises the plain loop with masks and blends, as it cannot tell that maxps
  // and minps treat a NaN just as the comparisons below do; with their operands in this order
  // they give exactly what std::clamp gives, NaN and signed zero included.
  const __m128 lo = _mm_set1_ps(-1.0f);
  const __m128 hi = _mm_set1_ps(1.0f);
  for (; i + 4 <= n; i += 4)
    _mm_storeu_ps(out + i, _mm_min_ps(hi, _mm_max_ps(lo, _mm_loadu_ps(out + i))));
#endif
  // As std::clamp, a NaN stays NaN: each comparison is false for it, so it passes through.
  for (; i < n; ++i) {
    float v = out[i];
    v = v < -1.0f ? -1.0f : v;
    v = 1.0f < v ? 1.0f : v;
    out[i] = v;
  }
}

}  // namespace varnkit::engine
