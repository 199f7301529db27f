#include "engine/Level.h"

#include <cmath>

namespace varnkit::engine {

int32_t levelOfVelocity(int32_t v) noexcept {
  const double q = 4000.0 / 127.0;
  const double p = q * v;
  const double d = 4000.0 - p;
  const double r = d * -1.0;
  return int32_t(std::floor(r));
}

float gainOfLevel(int32_t level) noexcept {
  return float(std::pow(10.0, double(level) / 2000.0));
}

}  // namespace varnkit::engine
