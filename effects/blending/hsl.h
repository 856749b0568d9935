// Hue/saturation/lightness conversions of a float pixel, and the HSL combinations behind the
// Hue, Saturation, Color and Luminosity blend modes.
//
// An HSL pixel reuses PF_PixelFloat: alpha stays alpha, red holds H (a fraction of a turn,
// red at 0, green at 1/3, blue at 2/3), green holds S and blue holds L. Alpha is copied and
// never enters the arithmetic.
//
// The results are specified to the bit, for each platform's build: a frame renders the same in
// every version, so a saved project looks as it did. Each formula therefore keeps its written
// operation order, as another order rounds differently. Build every translation unit that
// includes this header with -ffp-contract=off (a fused multiply-add rounds once where we round
// twice) and without -ffast-math (it reassociates and drops the NaN rules below).
#pragma once

#include <cmath>
#include <cstdint>

// kMacArithmetic: whether this build computes the macOS module's arithmetic.
#include "framework/arithmetic.h"
#include "platform/pf_basic.h"

namespace tavu::blending {
inline namespace TAVU_ARITHMETIC {

// Clamp to 0..1 as both modules do it. The Windows module tests "> 1" then ">= 0", so a NaN
// fails both and becomes 0; the macOS module tests "> 1" then "< 0" and lets a NaN through.
inline float ClampUnit(float v) {
  if (v > 1.0f) return 1.0f;
  if constexpr (kMacArithmetic) {
    return v < 0.0f ? 0.0f : v;
  } else {
    return v >= 0.0f ? v : 0.0f;
  }
}

// The conversions are defined here, not in a source file of their own, so that the row loops
// inline them (the HSL modes run them up to fifteen times per pixel) and keep only the parts of
// a combination whose result is used.
namespace detail {

// The Windows module multiplies by this float nearest 1/6 (bit pattern 0x3E2AAAAB) instead of
// dividing by 6; the two differ in the last bits (pure yellow: H 0.16666675 against 0.16666663).
inline constexpr float kOneSixth = 0x1.555556p-3f;

struct Extremes {
  float mn, mx;
};

// Smallest and largest channel. The modules differ on a NaN channel: the Windows module leaves
// it out of the search, the macOS module lets it win, so there one NaN channel turns the
// pixel's hue, saturation and lightness into NaN. NaN is checked once up front so that the
// ordinary path is plain comparisons the compiler can turn into min/max instructions.
inline Extremes ChannelExtremes(float r, float g, float b) {
  if (std::isnan(r) || std::isnan(g) || std::isnan(b)) {
    if constexpr (kMacArithmetic) {
      const float nan = std::isnan(r) ? r : (std::isnan(g) ? g : b);
      return {nan, nan};
    } else {
      const float finite = !std::isnan(r) ? r : (!std::isnan(g) ? g : b);  // NaN if all are
      if (std::isnan(r)) r = finite;
      if (std::isnan(g)) g = finite;
      if (std::isnan(b)) b = finite;
    }
  }
  float mn = g < r ? g : r;
  mn = b < mn ? b : mn;
  float mx = g > r ? g : r;
  mx = b > mx ? b : mx;
  return {mn, mx};
}

// A zero spread means gray: hue and saturation stay 0. The Windows module's equality test is
// also true for NaN (infinite channels give inf - inf), so such a pixel leaves here as well;
// on macOS it runs on and its hue and saturation become NaN.
inline bool IsGray(float spread) {
  if constexpr (kMacArithmetic) {
    return spread == 0.0f;
  } else {
    return spread == 0.0f || std::isnan(spread);
  }
}

inline float Floor(float h) {
  if constexpr (kMacArithmetic) {
    return std::floor(h);
  } else {
    // The Windows module's own floor through a 32-bit truncation. Values it cannot truncate
    // (beyond the int32 range, NaN) serve as their own floor, so an infinite h gives
    // inf - inf = NaN as hue; the range test also keeps the cast defined.
    if (!(h >= -2147483648.0f && h < 2147483648.0f)) return h;
    const float t = static_cast<float>(static_cast<int32_t>(h));
    if (t == h) return h;
    return h > 0.0f ? t : t - 1.0f;
  }
}

// Maximum-channel indicator of the hue candidates: a real multiplication by 1 or 0, so a NaN
// or infinite candidate stays NaN even for a channel that is not the maximum. Converted from
// the comparison rather than selected, which keeps it free of a data-dependent branch.
inline float IsMax(float channel, float mx) { return static_cast<float>(channel >= mx); }

}  // namespace detail

// Pixel (alpha, red, green, blue) -> (alpha, H, S, L).
inline PF_PixelFloat convertRGB2HSL(const PF_PixelFloat* pixel) {
  const float r = pixel->red;
  const float g = pixel->green;
  const float b = pixel->blue;
  PF_PixelFloat hsl{pixel->alpha, 0.0f, 0.0f, 0.0f};

  const detail::Extremes extremes = detail::ChannelExtremes(r, g, b);
  const float mn = extremes.mn;
  const float mx = extremes.mx;
  const float lightness = (mx + mn) * 0.5f;
  hsl.blue = lightness;

  const float d = mx - mn;
  if (detail::IsGray(d)) return hsl;

  // Distance of each channel below the maximum, in units of the spread: 0 for the maximum,
  // 1 (up to rounding) for the minimum.
  float cr, cg, cb;
  if constexpr (kMacArithmetic) {
    cr = (mx - r) / d;
    cg = (mx - g) / d;
    cb = (mx - b) / d;
  } else {
    const float k = 1.0f / d;
    cr = (mx - r) * k;
    cg = (mx - g) * k;
    cb = (mx - b) * k;
  }

  // Hue in sixths of a turn, one candidate per channel; only the maximum channels keep theirs.
  // Red's candidate lies in 5..7 rather than -1..1 so it never goes negative (the wrap below
  // brings 6..7 back to 0..1), and on ties the largest candidate wins: red before blue before
  // green (yellow: red's 7 beats green's 1, which is why yellow is not exactly 1/6).
  const float redCandidate = ((cb - cg) + 6.0f) * detail::IsMax(r, mx);
  const float greenCandidate = ((cr - cb) + 2.0f) * detail::IsMax(g, mx);
  const float blueCandidate = ((cg - cr) + 4.0f) * detail::IsMax(b, mx);
  const float m = blueCandidate > redCandidate ? blueCandidate : redCandidate;
  float h = greenCandidate > m ? greenCandidate : m;

  if constexpr (kMacArithmetic) {
    h = h / 6.0f;
  } else {
    h = h * detail::kOneSixth;
  }
  hsl.red = h - detail::Floor(h);  // 1 turn and above wraps to 0 (pure red gives h = 1)

  // Unguarded: L exactly 1 or 0 with a non-zero spread (float rounding, or channels outside
  // 0..1) divides by zero into an infinite saturation, which the kernel's clamp absorbs.
  hsl.green = d / (1.0f - std::fabs((lightness * 2.0f) - 1.0f));
  return hsl;
}

// Pixel (alpha, H, S, L) -> (alpha, red, green, blue); the result is not clamped.
inline PF_PixelFloat convertHSL2RGB(const PF_PixelFloat* pixel) {
  const float hue = pixel->red;
  const float saturation = pixel->green;
  const float lightness = pixel->blue;

  const float a = hue * 6.0f;
  const float redShape = ClampUnit(std::fabs(a - 3.0f) - 1.0f);
  const float greenShape = ClampUnit(2.0f - std::fabs(a - 2.0f));
  const float blueShape = ClampUnit(2.0f - std::fabs(a - 4.0f));
  const float chroma = (1.0f - std::fabs((lightness * 2.0f) - 1.0f)) * saturation;

  PF_PixelFloat rgb;
  rgb.alpha = pixel->alpha;
  rgb.red = ((redShape - 0.5f) * chroma) + lightness;
  rgb.green = ((greenShape - 0.5f) * chroma) + lightness;
  rgb.blue = ((blueShape - 0.5f) * chroma) + lightness;
  return rgb;
}

// Which pixel each HSL component of a combination comes from.
struct HslRecipe {
  bool hueFromBlend;
  bool saturationFromBlend;
  bool lightnessFromBlend;
};

inline constexpr HslRecipe kHslHue{true, false, true};  // lightness from the blend too, unlike
                                                         // the usual Hue mode: this effect's Hue
inline constexpr HslRecipe kHslSaturation{false, true, false};
inline constexpr HslRecipe kHslColor{true, true, false};
inline constexpr HslRecipe kHslLuminosity{false, false, true};

// Converts base and then blend to HSL, takes each component as the recipe says, and converts
// back with alpha 1. No mix, no clamp: components outside 0..1 (float worlds) come back as
// they are, infinities and NaN included.
inline PF_PixelFloat CombineHsl(const PF_PixelFloat* base, const PF_PixelFloat* blend,
                                HslRecipe recipe) {
  const PF_PixelFloat baseHsl = convertRGB2HSL(base);
  const PF_PixelFloat blendHsl = convertRGB2HSL(blend);
  PF_PixelFloat combined;
  combined.alpha = 1.0f;
  combined.red = recipe.hueFromBlend ? blendHsl.red : baseHsl.red;
  combined.green = recipe.saturationFromBlend ? blendHsl.green : baseHsl.green;
  combined.blue = recipe.lightnessFromBlend ? blendHsl.blue : baseHsl.blue;
  return convertHSL2RGB(&combined);
}

#if !TAVU_MACOS_ARITHMETIC
// Stand-alone utilities of the Windows module; the macOS module does not carry them.

// Note the argument order: alpha comes last.
PF_PixelFloat InitPixelFloat(float red, float green, float blue, float alpha);

PF_PixelFloat BlendHue(const PF_PixelFloat* base, const PF_PixelFloat* blend);
PF_PixelFloat BlendSaturation(const PF_PixelFloat* base, const PF_PixelFloat* blend);
PF_PixelFloat BlendColor(const PF_PixelFloat* base, const PF_PixelFloat* blend);
PF_PixelFloat BlendLuminosity(const PF_PixelFloat* base, const PF_PixelFloat* blend);
#endif

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu::blending
