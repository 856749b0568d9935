// Floats compared by their bits: results are specified to the last bit, so "close enough" is a
// failure in these tests.
#pragma once

#include <cstdint>
#include <cstring>

#include "framework/arithmetic.h"

namespace tavu::testing {

// The arithmetic variant this test binary is built with (the macOS modules' when set).
using tavu::kMacArithmetic;

inline uint32_t Bits(float v) {
  uint32_t u;
  std::memcpy(&u, &v, sizeof u);
  return u;
}

inline float FromBits(uint32_t u) {
  float v;
  std::memcpy(&v, &u, sizeof v);
  return v;
}

}  // namespace tavu::testing
