// Bit-level float comparison for the effect tests: an effect's results are specified to
// the bit, so "close enough" is a failure here.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "platform/pf_basic.h"
#include "tests/support/float_bits.h"

namespace tavu::blending::test {

inline constexpr bool kMacBuild = tavu::testing::kMacArithmetic;
using tavu::testing::Bits;

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
inline constexpr float kInf = std::numeric_limits<float>::infinity();

// Same bits, or NaN for NaN (the payload of a NaN is nobody's contract). Prints both values
// and patterns so a last-bit difference is visible.
inline ::testing::AssertionResult SameFloat(float actual, float expected) {
  if (std::isnan(expected) ? std::isnan(actual) : Bits(actual) == Bits(expected)) {
    return ::testing::AssertionSuccess();
  }
  const auto hex = [](float v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(Bits(v)));
    return std::string(text);
  };
  return ::testing::AssertionFailure() << "got " << ::testing::PrintToString(actual) << " ("
                                       << hex(actual) << "), want "
                                       << ::testing::PrintToString(expected) << " ("
                                       << hex(expected) << ")";
}

inline PF_PixelFloat Rgb(float red, float green, float blue, float alpha = 1.0f) {
  return PF_PixelFloat{alpha, red, green, blue};
}

// All four channels; `what` names the pixel in a failure.
inline void ExpectPixel(const PF_PixelFloat& got, const PF_PixelFloat& want,
                        const std::string& what = "") {
  EXPECT_TRUE(SameFloat(got.alpha, want.alpha)) << what << " alpha";
  EXPECT_TRUE(SameFloat(got.red, want.red)) << what << " red";
  EXPECT_TRUE(SameFloat(got.green, want.green)) << what << " green";
  EXPECT_TRUE(SameFloat(got.blue, want.blue)) << what << " blue";
}

inline void ExpectRgb(const PF_PixelFloat& p, float red, float green, float blue) {
  EXPECT_TRUE(SameFloat(p.red, red)) << "red";
  EXPECT_TRUE(SameFloat(p.green, green)) << "green";
  EXPECT_TRUE(SameFloat(p.blue, blue)) << "blue";
}

}  // namespace tavu::blending::test
