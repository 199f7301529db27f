#include "tools/DrumSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

namespace varnkit::tools {
namespace {

constexpr double kTwoPi = 2 * std::numbers::pi;

std::vector<float> silence(double seconds) {
  return std::vector<float>(std::size_t(seconds * kSynthRate), 0.0f);
}

double t(std::size_t i) {
  return double(i) / kSynthRate;
}

// White noise through a one-pole high-pass: the brighter, the closer alpha is to 1.
std::vector<float> brightNoise(std::size_t n, double alpha, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> white(-1.0f, 1.0f);
  std::vector<float> out(n);
  float lastIn = 0, lastOut = 0;
  for (auto& s : out) {
    const float in = white(rng);
    lastOut = float(alpha) * (lastOut + in - lastIn);
    lastIn = in;
    s = lastOut;
  }
  return out;
}

// Six detuned square waves: the metallic core of cymbals and hats.
double metal(double time, double base) {
  static const double ratios[] = {1.0, 1.342, 1.2312, 1.6532, 1.9523, 2.1523};
  double sum = 0;
  for (double r : ratios) sum += std::sin(kTwoPi * base * r * time) >= 0 ? 1.0 : -1.0;
  return sum / 6.0;
}

void normalise(std::vector<float>& v, float peak) {
  float top = 0;
  for (float s : v) top = std::max(top, std::fabs(s));
  if (top > 0)
    for (float& s : v) s *= peak / top;
}

}  // namespace

std::vector<float> kick(float strength) {
  auto out = silence(0.6);
  double phase = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double freq = 48 + (110 + 60 * strength) * std::exp(-t(i) * 28);  // pitch drop
    phase += kTwoPi * freq / kSynthRate;
    const double body = std::sin(phase) * std::exp(-t(i) * 6.5);
    const double click = i < 90 ? (1.0 - double(i) / 90) * 0.5 * strength : 0.0;
    out[i] = float(body + click);
  }
  normalise(out, 0.5f + 0.45f * strength);
  return out;
}

std::vector<float> snare(float strength) {
  auto out = silence(0.35);
  const auto noise = brightNoise(out.size(), 0.75 + 0.2 * strength, 7);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double tone = std::sin(kTwoPi * 185 * t(i)) * std::exp(-t(i) * 22);
    const double wires = noise[i] * std::exp(-t(i) * (16 - 4 * strength));
    out[i] = float(0.55 * tone + (0.6 + 0.4 * strength) * wires);
  }
  normalise(out, 0.45f + 0.45f * strength);
  return out;
}

std::vector<float> hihat(bool open, float strength) {
  auto out = silence(open ? 0.8 : 0.12);
  const auto noise = brightNoise(out.size(), 0.97, open ? 11 : 13);
  const double decay = open ? 4.5 : 45;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double env = std::exp(-t(i) * decay);
    out[i] = float((0.6 * metal(t(i), 410) + 0.5 * noise[i]) * env);
  }
  auto high = out;  // a second high-pass pass keeps only the sizzle
  for (std::size_t i = 1; i < out.size(); ++i) high[i] = 0.9f * (high[i - 1] + out[i] - out[i - 1]);
  normalise(high, 0.3f + 0.4f * strength);
  return high;
}

std::vector<float> tom(float pitchHz, float strength) {
  auto out = silence(0.7);
  const auto noise = brightNoise(out.size(), 0.6, 17);
  double phase = 0;
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double freq = pitchHz * (1 + 0.5 * std::exp(-t(i) * 18));
    phase += kTwoPi * freq / kSynthRate;
    out[i] =
        float(std::sin(phase) * std::exp(-t(i) * 5.5) + 0.15 * noise[i] * std::exp(-t(i) * 40));
  }
  normalise(out, 0.4f + 0.45f * strength);
  return out;
}

std::vector<float> crash(float strength) {
  auto out = silence(2.2);
  const auto noise = brightNoise(out.size(), 0.93, 19);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double env = std::exp(-t(i) * 1.8) * std::min(1.0, t(i) * 400);
    out[i] = float((0.45 * metal(t(i), 320) + 0.7 * noise[i]) * env);
  }
  normalise(out, 0.35f + 0.4f * strength);
  return out;
}

std::vector<float> ride(float strength) {
  auto out = silence(1.6);
  const auto noise = brightNoise(out.size(), 0.95, 23);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const double ping = std::sin(kTwoPi * 1750 * t(i)) * std::exp(-t(i) * 3);
    const double wash = (0.4 * metal(t(i), 510) + 0.3 * noise[i]) * std::exp(-t(i) * 2.5);
    out[i] = float(0.5 * ping + wash);
  }
  normalise(out, 0.3f + 0.4f * strength);
  return out;
}

}  // namespace varnkit::tools
