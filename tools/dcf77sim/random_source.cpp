#include "random_source.h"

#include <cmath>

namespace {

// SplitMix64's constants (Steele, Lea and Flood; Vigna's reference version).
constexpr uint64_t kGoldenGamma = 0x9E3779B97F4A7C15u;
constexpr uint64_t kMixFirst = 0xBF58476D1CE4E5B9u;
constexpr uint64_t kMixSecond = 0x94D049BB133111EBu;

constexpr int kUnitBits = 53;
constexpr double kUnitScale = 1.0 / static_cast<double>(uint64_t{1} << kUnitBits);
constexpr double kTwoPi = 6.283185307179586;

}  // namespace

uint64_t DrawRandom(uint64_t* state) {
  *state += kGoldenGamma;
  uint64_t z = *state;
  z = (z ^ (z >> 30)) * kMixFirst;
  z = (z ^ (z >> 27)) * kMixSecond;
  return z ^ (z >> 31);
}

double DrawUnit(uint64_t* state) {
  return static_cast<double>(DrawRandom(state) >> (64 - kUnitBits)) * kUnitScale;
}

bool DrawChance(uint64_t* state, double probability) {
  return DrawUnit(state) < probability;
}

double DrawGaussian(uint64_t* state) {
  // Box and Muller's transform; 1 - u lies in (0, 1], so the logarithm is finite.
  const double radius = std::sqrt(-2.0 * std::log(1.0 - DrawUnit(state)));
  return radius * std::cos(kTwoPi * DrawUnit(state));
}
