// Blend kernel: every mode's branches, guards and edges, the mix and clamp, out-of-range mode
// numbers and non-finite channels, bit for bit. Build with -DTAVU_MACOS_ARITHMETIC=1 to check
// the macOS expectations.
#include "effects/blending/blend_kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "tests/blending/float_expect.h"

namespace tavu::blending {
namespace {

using namespace test;

PF_PixelFloat Blended(const PF_PixelFloat& base, const PF_PixelFloat& blend, int32_t mode,
                      float mix) {
  PF_PixelFloat out;
  BlendPixel(base, blend, out, mode, mix);
  return out;
}

float& Channel(PF_PixelFloat& p, int c) { return c == 0 ? p.red : (c == 1 ? p.green : p.blue); }

// Runs one channel case in each colour channel in turn, with different values in the other
// two, so a formula that reads the wrong channel or a wrong operand shows up.
void ExpectChannelCase(int32_t mode, float t, float o, float mix, float expected) {
  for (int c = 0; c < 3; ++c) {
    PF_PixelFloat base = Rgb(0.125f, 0.375f, 0.625f, kNaN);  // alphas are never read
    PF_PixelFloat blend = Rgb(0.875f, 0.625f, 0.375f, -3.0f);
    Channel(base, c) = t;
    Channel(blend, c) = o;
    PF_PixelFloat out = Blended(base, blend, mode, mix);
    EXPECT_TRUE(SameFloat(Channel(out, c), expected)) << "channel " << c;
    EXPECT_EQ(out.alpha, 1.0f);
  }
}

TEST(BlendModeTable, PopupTextAndCount) {
  EXPECT_STREQ(kBlendModeChoices,
               "Normal|Lighten|Darken|Multiply|Average|Add|Subtract|Difference|Negation|"
               "Exclusion|Screen|Overlay|Soft Light|Hard Light|Color Dodge|Color Burn|"
               "Linear Dodge|Linear Burn|Linear Light|Vivid Light|Pin Light|Hard Mix|Reflect|"
               "Glow|Phoenix|Hue|Saturation|Color|Luminosity");
  EXPECT_EQ(kBlendModeCount, 29);
}

// Dyadic inputs keep the arithmetic exact, so the expected values are worked by hand. Rows with
// mix 0.5 make a cap or floor inside the formula visible past the final clamp; rows with 0.1
// tell the two halves of a ">= 0.5" test apart by their rounding.
TEST(BlendPixel, ChannelModes) {
  struct Case {
    int32_t mode;
    float t, o, mix, expected;
  };
  const float upperOf01 = 1.0f - (1.0f - 0.1f);  // 1 - (1 - 0.1) in float, not 0.1
  const Case cases[] = {
      {kBlendNormal, 0.25f, 0.75f, 1, 0.75f},
      {kBlendLighten, 0.25f, 0.75f, 1, 0.75f}, {kBlendLighten, 0.75f, 0.25f, 1, 0.75f},
      {kBlendDarken, 0.25f, 0.75f, 1, 0.25f}, {kBlendDarken, 0.75f, 0.25f, 1, 0.25f},
      {kBlendMultiply, 0.25f, 0.75f, 1, 0.1875f},
      {kBlendAverage, 0.25f, 0.75f, 1, 0.5f},
      {kBlendAdd, 0.6f, 0.6f, 1, 1.0f}, {kBlendAdd, 0.25f, 0.5f, 1, 0.75f},
      {kBlendAdd, 0.75f, 0.75f, 0.5f, 0.875f},
      {kBlendSubtract, 0.3f, 0.4f, 1, 0.0f}, {kBlendSubtract, 0.75f, 0.5f, 1, 0.25f},
      {kBlendSubtract, 0.25f, 0.25f, 0.5f, 0.125f},
      {kBlendDifference, 0.25f, 0.75f, 1, 0.5f}, {kBlendDifference, 0.75f, 0.25f, 1, 0.5f},
      {kBlendNegation, 0.25f, 0.5f, 1, 0.75f}, {kBlendNegation, 0.75f, 0.75f, 1, 0.5f},
      {kBlendExclusion, 0.25f, 0.75f, 1, 0.625f},
      {kBlendScreen, 0.25f, 0.75f, 1, 0.8125f},
      {kBlendOverlay, 0.25f, 0.75f, 1, 0.375f}, {kBlendOverlay, 0.75f, 0.25f, 1, 0.625f},
      {kBlendOverlay, 0.5f, 0.1f, 1, upperOf01},
      {kBlendSoftLight, 0.25f, 0.75f, 1, 0.375f}, {kBlendSoftLight, 0.25f, 0.25f, 1, 0.15625f},
      {kBlendHardLight, 0.25f, 0.75f, 1, 0.625f}, {kBlendHardLight, 0.75f, 0.25f, 1, 0.375f},
      {kBlendHardLight, 0.1f, 0.5f, 1, upperOf01},
      {kBlendColorDodge, 0.25f, 0.5f, 1, 0.5f}, {kBlendColorDodge, 0.75f, 0.5f, 0.5f, 0.875f},
      {kBlendColorDodge, 0.0f, 1.0f, 1, 1.0f},
      {kBlendColorBurn, 0.75f, 0.5f, 1, 0.5f}, {kBlendColorBurn, 0.25f, 0.5f, 0.5f, 0.125f},
      {kBlendColorBurn, 1.0f, 0.0f, 1, 0.0f}, {kBlendColorBurn, 1.5f, 0.0f, 1, 0.0f},
      {kBlendLinearLight, 0.25f, 0.75f, 1, 0.75f}, {kBlendLinearLight, 0.75f, 0.75f, 0.5f, 0.875f},
      {kBlendLinearLight, 0.75f, 0.25f, 1, 0.25f}, {kBlendLinearLight, 0.25f, 0.25f, 0.5f, 0.125f},
      {kBlendLinearLight, 0.1f, 0.5f, 1, 0.1f},
      {kBlendVividLight, 0.25f, 0.75f, 1, 0.5f}, {kBlendVividLight, 0.75f, 0.25f, 1, 0.5f},
      {kBlendVividLight, 0.75f, 0.75f, 0.5f, 0.875f}, {kBlendVividLight, 0.25f, 0.25f, 0.5f, 0.125f},
      {kBlendVividLight, 0.0f, 1.0f, 1, 1.0f}, {kBlendVividLight, 1.5f, 0.0f, 1, 0.0f},
      {kBlendVividLight, 0.1f, 0.5f, 1, 0.1f},
      {kBlendPinLight, 0.75f, 0.25f, 1, 0.5f}, {kBlendPinLight, 0.25f, 0.25f, 1, 0.25f},
      {kBlendPinLight, 0.25f, 0.75f, 1, 0.5f}, {kBlendPinLight, 0.75f, 0.75f, 1, 0.75f},
      {kBlendPinLight, 0.1f, 0.5f, 1, 0.1f},
      {kBlendHardMix, 0.5f, 0.5f, 1, 1.0f}, {kBlendHardMix, 0.4f, 0.5f, 1, 0.0f},
      {kBlendHardMix, 0.75f, 0.75f, 1, 1.0f}, {kBlendHardMix, 0.25f, 0.25f, 1, 0.0f},
      {kBlendReflect, 0.25f, 0.5f, 1, 0.125f}, {kBlendReflect, 0.75f, 0.5f, 0.5f, 0.875f},
      {kBlendReflect, 0.0f, 1.0f, 1, 1.0f},
      {kBlendGlow, 0.5f, 0.25f, 1, 0.125f}, {kBlendGlow, 0.5f, 0.75f, 0.5f, 0.75f},
      {kBlendGlow, 1.0f, 0.0f, 1, 1.0f},
      {kBlendPhoenix, 0.25f, 0.75f, 1, 0.5f}, {kBlendPhoenix, 0.75f, 0.5f, 1, 0.75f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(kBlendModes[c.mode].name) + " t=" + std::to_string(c.t) +
                 " o=" + std::to_string(c.o) + " mix=" + std::to_string(c.mix));
    ExpectChannelCase(c.mode, c.t, c.o, c.mix, c.expected);
  }
}

// Inexact inputs, where a regrouped or "simplified" formula rounds differently. The references
// are the formulas written out in float; mix 1 makes the result the clamped raw value.
TEST(BlendPixel, OperationOrderOverASweep) {
  struct Reference {
    int32_t mode;
    float (*raw)(float t, float o);
  };
  const Reference references[] = {
      {kBlendExclusion, [](float t, float o) { return (o + t) - ((t * 2.0f) * o); }},
      {kBlendScreen, [](float t, float o) { return 1.0f - ((1.0f - t) * (1.0f - o)); }},
      {kBlendNegation, [](float t, float o) { return 1.0f - std::fabs((1.0f - t) - o); }},
      {kBlendOverlay, [](float t, float o) {
         return t >= 0.5f ? 1.0f - ((1.0f - o) * ((1.0f - t) * 2.0f)) : (t * 2.0f) * o;
       }},
      {kBlendSoftLight, [](float t, float o) {
         return o >= 0.5f ? (std::sqrt(t) * ((o * 2.0f) - 1.0f)) + ((1.0f - o) * (t * 2.0f))
                          : ((1.0f - (o * 2.0f)) * (t * t)) + ((t * 2.0f) * o);
       }},
      {kBlendLinearLight, [](float t, float o) {
         return o >= 0.5f ? ((o - 0.5f) * 2.0f) + t : ((o * 2.0f) + t) - 1.0f;
       }},
  };
  const float values[] = {0.1f, 0.3f, 0.45f, 0.55f, 0.7f, 0.9f};
  for (const Reference& ref : references) {
    for (float t : values) {
      for (float o : values) {
        SCOPED_TRACE(std::string(kBlendModes[ref.mode].name) + " t=" + std::to_string(t) +
                     " o=" + std::to_string(o));
        const float r = ref.raw(t, o);
        ExpectChannelCase(ref.mode, t, o, 1.0f, r > 1.0f ? 1.0f : (r >= 0.0f ? r : 0.0f));
      }
    }
  }
}

TEST(BlendPixel, LinearDodgeIsAddAndLinearBurnIsSubtract) {
  const float values[] = {-kInf, -0.5f, -0.0f, 0.0f, 0.3f, 0.5f, 0.7f, 1.0f, 1.5f, kInf, kNaN};
  for (float mix : {0.0f, 0.3f, 1.0f}) {
    for (float t : values) {
      for (float o : values) {
        const PF_PixelFloat base = Rgb(t, o, 0.2f), blend = Rgb(o, t, 0.9f);
        const PF_PixelFloat add = Blended(base, blend, kBlendAdd, mix);
        const PF_PixelFloat subtract = Blended(base, blend, kBlendSubtract, mix);
        SCOPED_TRACE("t=" + std::to_string(t) + " o=" + std::to_string(o));
        ExpectRgb(Blended(base, blend, kBlendLinearDodge, mix), add.red, add.green, add.blue);
        ExpectRgb(Blended(base, blend, kBlendLinearBurn, mix), subtract.red, subtract.green,
                  subtract.blue);
      }
    }
  }
}

// Base cyan (H 0.5, S 1, L 0.5) and blend dark red (H 0, S 1, L 0.25): each HSL mode gives a
// different exact colour. Every number outside 0..27 must act as Luminosity.
TEST(BlendPixel, HslModesAndOutOfRangeNumbers) {
  struct Case {
    int32_t mode;
    float r, g, b;
  };
  const Case cases[] = {
      {kBlendHue, 0.5f, 0.0f, 0.0f},
      {kBlendSaturation, 0.0f, 1.0f, 1.0f},
      {kBlendColor, 1.0f, 0.0f, 0.0f},
      {kBlendLuminosity, 0.0f, 0.5f, 0.5f},
      {29, 0.0f, 0.5f, 0.5f},
      {1000, 0.0f, 0.5f, 0.5f},
      {-1, 0.0f, 0.5f, 0.5f},
      {std::numeric_limits<int32_t>::min(), 0.0f, 0.5f, 0.5f},
      {std::numeric_limits<int32_t>::max(), 0.0f, 0.5f, 0.5f},
  };
  const PF_PixelFloat base = Rgb(0, 1, 1, 0.25f);
  const PF_PixelFloat blend = Rgb(0.5f, 0, 0, 0.75f);
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode));
    const PF_PixelFloat out = Blended(base, blend, c.mode, 1.0f);
    ExpectRgb(out, c.r, c.g, c.b);
    EXPECT_EQ(out.alpha, 1.0f);
  }

  // A gray base stays gray, at the blend's lightness.
  ExpectRgb(Blended(Rgb(0.5f, 0.5f, 0.5f), blend, kBlendHue, 1.0f), 0.25f, 0.25f, 0.25f);

  // S = +inf from L rounding to 1: the channels become +inf and -inf, and the clamp ends them
  // at 1 and 0 in both variants.
  ExpectRgb(Blended(Rgb(1, 0.99999994f, 0.99999994f), Rgb(0.5f, 0.5f, 0.5f), kBlendLuminosity, 1),
            1.0f, 0.0f, 0.0f);
}

TEST(BlendPixel, MixAndClamp) {
  // Mix 0 returns the base clamped to 0..1, in every mode whose raw value is finite here.
  const PF_PixelFloat base = Rgb(1.5f, -0.25f, 0.5f, 0.0f);
  const PF_PixelFloat blend = Rgb(0.75f, 0.25f, 0.25f, 0.0f);
  for (int32_t mode = -1; mode <= kBlendModeCount; ++mode) {
    SCOPED_TRACE("mode " + std::to_string(mode));
    const PF_PixelFloat out = Blended(base, blend, mode, 0.0f);
    ExpectRgb(out, 1.0f, 0.0f, 0.5f);
    EXPECT_EQ(out.alpha, 1.0f);
  }

  // ((1 - mix) * base) + (mix * raw), in that grouping (base + mix * (raw - base) differs here).
  const float mix = 0.3f;
  ExpectChannelCase(kBlendNormal, 0.9f, 0.2f, mix, ((1.0f - mix) * 0.9f) + (mix * 0.2f));

  // MixPixel leaves the result's alpha alone.
  PF_PixelFloat result = Rgb(0, 0, 0, 0.625f);
  MixPixel(Rgb(0.5f, 2.0f, -1.0f), Rgb(1.0f, 1.0f, 1.0f), result, 0.5f);
  ExpectRgb(result, 0.75f, 1.0f, 0.0f);
  EXPECT_EQ(result.alpha, 0.625f);
}

// Windows stores a NaN mix result as 0; macOS passes it on. Infinities clamp alike in both.
TEST(BlendPixel, NonFiniteChannels) {
  const float nanOut = kMacBuild ? kNaN : 0.0f;
  for (int32_t mode = -1; mode <= kBlendModeCount; ++mode) {
    for (float mix : {0.0f, 0.5f, 1.0f}) {
      SCOPED_TRACE("NaN base, mode " + std::to_string(mode) + " mix " + std::to_string(mix));
      EXPECT_TRUE(SameFloat(Blended(Rgb(kNaN, 0.5f, 0.5f), Rgb(0.25f, 0.75f, 0.5f), mode, mix).red,
                            nanOut));
    }
  }

  struct Case {
    const char* what;
    int32_t mode;
    float t, o, mix, expected;
  };
  const Case cases[] = {
      // A NaN takes the "== 0" guard and is handed on instead of being floored to 0.
      {"Color Burn, NaN blend", kBlendColorBurn, 0.8f, kNaN, 0.5f, nanOut},
      {"Vivid Light, NaN blend", kBlendVividLight, 0.8f, kNaN, 0.5f, nanOut},
      {"Hard Mix, NaN Vivid Light", kBlendHardMix, 0.8f, kNaN, 1.0f, kMacBuild ? 1.0f : 0.0f},
      // Blend 0.5 takes the upper half, whose root of a negative base is NaN (the lower half
      // would give -0.25, clamped to 0).
      {"Soft Light, root of a negative base", kBlendSoftLight, -0.25f, 0.5f, 1.0f, nanOut},
      {"+inf base, mix 0", kBlendNormal, kInf, 0.5f, 0.0f, 1.0f},
      {"-inf base, mix 0", kBlendNormal, -kInf, 0.5f, 0.0f, 0.0f},
      {"+inf base, mix 1: 0 * inf", kBlendNormal, kInf, 0.5f, 1.0f, nanOut},
      {"+inf blend", kBlendNormal, 0.5f, kInf, 1.0f, 1.0f},
      {"-inf blend", kBlendNormal, 0.5f, -kInf, 1.0f, 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectChannelCase(c.mode, c.t, c.o, c.mix, c.expected);
  }
}

}  // namespace
}  // namespace tavu::blending
