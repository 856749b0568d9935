// HSL conversions: worked values, bit for bit, in both arithmetic variants. Build with
// -DTAVU_MACOS_ARITHMETIC=1 to check the macOS expectations.
#include "effects/blending/hsl.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/blending/float_expect.h"

namespace tavu::blending {
namespace {

using namespace test;

TEST(ConvertRgb2Hsl, WorkedValues) {
  struct Case {
    const char* what;
    PF_PixelFloat rgb;
    float h, s, l;
  };
  const Case cases[] = {
      {"red", Rgb(1, 0, 0), 0.0f, 1.0f, 0.5f},
      {"green", Rgb(0, 1, 0), 0.33333334f, 1.0f, 0.5f},
      {"blue", Rgb(0, 0, 1), 0.6666667f, 1.0f, 0.5f},
      {"cyan", Rgb(0, 1, 1), 0.5f, 1.0f, 0.5f},
      // Windows multiplies by the float nearest 1/6, macOS divides by 6.
      {"magenta", Rgb(1, 0, 1), kMacBuild ? 0.8333333f : 0.8333334f, 1.0f, 0.5f},
      {"yellow, red wins the tie", Rgb(1, 1, 0), kMacBuild ? 0.16666663f : 0.16666675f, 1.0f, 0.5f},
      {"(0.2, 0.4, 0.6)", Rgb(0.2f, 0.4f, 0.6f), kMacBuild ? 0.5833333f : 0.5833334f, 0.50000006f, 0.4f},
      // Dividing by the spread rounds differently here from multiplying by its reciprocal.
      {"(0.4, 0.5, 0.9)", Rgb(0.4f, 0.5f, 0.9f), kMacBuild ? 0.6333333f : 0.6333334f, 0.7142856f, 0.65f},
      {"gray", Rgb(0.3f, 0.3f, 0.3f), 0.0f, 0.0f, 0.3f},
      {"black", Rgb(0, 0, 0), 0.0f, 0.0f, 0.0f},
      {"white", Rgb(1, 1, 1), 0.0f, 0.0f, 1.0f},
      {"L rounds to 1", Rgb(1, 0.99999994f, 0.99999994f), 0.0f, kInf, 1.0f},
      // inf - inf spread: Windows takes the gray exit, macOS runs on into NaN.
      {"all +inf", Rgb(kInf, kInf, kInf), kMacBuild ? kNaN : 0.0f, kMacBuild ? kNaN : 0.0f, kInf},
      {"one +inf", Rgb(kInf, 0, 0), kNaN, kNaN, kInf},
      // Windows leaves a NaN channel out of the min/max; macOS lets it spread.
      {"NaN red", Rgb(kNaN, 0.25f, 0.75f), kMacBuild ? kNaN : 0.0f, kMacBuild ? kNaN : 0.5f,
       kMacBuild ? kNaN : 0.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PF_PixelFloat hsl = convertRGB2HSL(&c.rgb);
    EXPECT_TRUE(SameFloat(hsl.red, c.h)) << "H";
    EXPECT_TRUE(SameFloat(hsl.green, c.s)) << "S";
    EXPECT_TRUE(SameFloat(hsl.blue, c.l)) << "L";
  }
}

TEST(ConvertHsl2Rgb, WorkedValues) {
  struct Case {
    const char* what;
    float h, s, l;
    float r, g, b;
  };
  const Case cases[] = {
      {"yellow's hue back", 0.16666675f, 1.0f, 0.5f, 0.9999995f, 1.0f, 0.0f},
      {"(0.2, 0.4, 0.6) back", 0.5833334f, 0.50000006f, 0.4f, 0.19999997f, 0.39999992f, 0.6f},
      {"S 0 gives L", 0.3f, 0.0f, 0.3f, 0.3f, 0.3f, 0.3f},
      {"S 0 gives L, other hue", 0.7f, 0.0f, 0.8f, 0.8f, 0.8f, 0.8f},
      {"H 0", 0.0f, 1.0f, 0.5f, 1.0f, 0.0f, 0.0f},
      {"H 1 is H 0", 1.0f, 1.0f, 0.5f, 1.0f, 0.0f, 0.0f},
      // A NaN channel shape: Windows clamps it to 0, macOS lets it through.
      {"NaN hue", kNaN, 1.0f, 0.5f, kMacBuild ? kNaN : 0.0f, kMacBuild ? kNaN : 0.0f,
       kMacBuild ? kNaN : 0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PF_PixelFloat hsl{1.0f, c.h, c.s, c.l};
    ExpectRgb(convertHSL2RGB(&hsl), c.r, c.g, c.b);
  }
}

TEST(HslConversions, AlphaPassesThroughUnchanged) {
  const uint32_t nanPayload = 0x7FC01234u;
  float payloadNaN;
  std::memcpy(&payloadNaN, &nanPayload, sizeof payloadNaN);
  for (float alpha : {-2.5f, 7.0f, payloadNaN}) {
    for (const PF_PixelFloat& rgb : {Rgb(0.5f, 0.5f, 0.5f, alpha), Rgb(0.2f, 0.4f, 0.6f, alpha)}) {
      const PF_PixelFloat hsl = convertRGB2HSL(&rgb);
      EXPECT_EQ(Bits(hsl.alpha), Bits(alpha));
      EXPECT_EQ(Bits(convertHSL2RGB(&hsl).alpha), Bits(alpha));
    }
  }
}

#if !TAVU_MACOS_ARITHMETIC

// Base cyan (H 0.5, S 1, L 0.5) and blend dark red (H 0, S 1, L 0.25) give four different
// exact results, one per component recipe.
TEST(HslBlendFunctions, TakeEachComponentFromTheDocumentedPixel) {
  const PF_PixelFloat base = Rgb(0, 1, 1, 0.25f);
  const PF_PixelFloat blend = Rgb(0.5f, 0, 0, 0.75f);
  struct Case {
    const char* what;
    PF_PixelFloat (*fn)(const PF_PixelFloat*, const PF_PixelFloat*);
    float r, g, b;
  };
  const Case cases[] = {
      {"Hue: H, L of blend", BlendHue, 0.5f, 0.0f, 0.0f},
      {"Saturation: S of blend", BlendSaturation, 0.0f, 1.0f, 1.0f},
      {"Color: H, S of blend", BlendColor, 1.0f, 0.0f, 0.0f},
      {"Luminosity: L of blend", BlendLuminosity, 0.0f, 0.5f, 0.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PF_PixelFloat out = c.fn(&base, &blend);
    ExpectRgb(out, c.r, c.g, c.b);
    EXPECT_EQ(out.alpha, 1.0f);
  }
  const PF_PixelFloat gray = Rgb(0.5f, 0.5f, 0.5f);
  ExpectRgb(BlendHue(&gray, &blend), 0.25f, 0.25f, 0.25f);  // gray stays gray, blend's L
}

TEST(InitPixelFloat, TakesAlphaLast) {
  const PF_PixelFloat p = InitPixelFloat(0.1f, 0.2f, 0.3f, 0.4f);
  EXPECT_EQ(p.alpha, 0.4f);
  EXPECT_EQ(p.red, 0.1f);
  EXPECT_EQ(p.green, 0.2f);
  EXPECT_EQ(p.blue, 0.3f);
}

#endif

}  // namespace
}  // namespace tavu::blending
