// Hue/saturation/lightness conversions of a float pixel, and the HSL combinations behind the
// Hue, Saturation, Color and Luminosity blend modes.
//
// An HSL pixel reuses PF_PixelFloat: alpha stays alpha, red holds H (a fraction of a turn,
// red at 0, green at 1/3, blue at 2/3), green holds S and blue holds L. Alpha is copied and
// never enters the arithmetic.
//
// The results must match the shipped Windows and macOS modules to the bit, so every formula
// keeps its written operation order. Build every translation unit that includes this header
// with -ffp-contract=off (a fused multiply-add rounds once where we round twice) and without
// -ffast-math (it reassociates and drops the NaN rules below).
#pragma once

#include <cfloat>

#include "platform/pf_basic.h"

// The macOS module was built with another compiler whose float code differs from the Windows
// module's in a few spots (division instead of reciprocal multiplication, how NaN travels).
// The build defines this to 1 for the macOS variant; an Apple compiler selects it by itself.
#ifndef TAVU_MACOS_ARITHMETIC
#if defined(__APPLE__)
#define TAVU_MACOS_ARITHMETIC 1
#else
#define TAVU_MACOS_ARITHMETIC 0
#endif
#endif

// Bit-exact results need every float operation rounded to 32 bits, not kept in x87 registers.
#if defined(FLT_EVAL_METHOD) && FLT_EVAL_METHOD != 0
#error "float expressions must be evaluated in float precision (use SSE, not x87)"
#endif

namespace tavu::blending {

inline constexpr bool kMacArithmetic = TAVU_MACOS_ARITHMETIC != 0;

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

// Pixel (alpha, red, green, blue) -> (alpha, H, S, L).
PF_PixelFloat convertRGB2HSL(const PF_PixelFloat* pixel);

// Pixel (alpha, H, S, L) -> (alpha, red, green, blue); the result is not clamped.
PF_PixelFloat convertHSL2RGB(const PF_PixelFloat* pixel);

// Which pixel each HSL component of a combination comes from.
struct HslRecipe {
  bool hueFromBlend;
  bool saturationFromBlend;
  bool lightnessFromBlend;
};

inline constexpr HslRecipe kHslHue{true, false, true};  // lightness from the blend too, unlike
                                                         // the usual Hue mode: shipped behaviour
inline constexpr HslRecipe kHslSaturation{false, true, false};
inline constexpr HslRecipe kHslColor{true, true, false};
inline constexpr HslRecipe kHslLuminosity{false, false, true};

// Converts base and then blend to HSL, takes each component as the recipe says, and converts
// back with alpha 1. No mix, no clamp: components outside 0..1 (float worlds) come back as
// they are, infinities and NaN included.
PF_PixelFloat CombineHsl(const PF_PixelFloat* base, const PF_PixelFloat* blend, HslRecipe recipe);

#if !TAVU_MACOS_ARITHMETIC
// Stand-alone utilities of the Windows module; the macOS module does not carry them.

// Note the argument order: alpha comes last.
PF_PixelFloat InitPixelFloat(float red, float green, float blue, float alpha);

PF_PixelFloat BlendHue(const PF_PixelFloat* base, const PF_PixelFloat* blend);
PF_PixelFloat BlendSaturation(const PF_PixelFloat* base, const PF_PixelFloat* blend);
PF_PixelFloat BlendColor(const PF_PixelFloat* base, const PF_PixelFloat* blend);
PF_PixelFloat BlendLuminosity(const PF_PixelFloat* base, const PF_PixelFloat* blend);
#endif

}  // namespace tavu::blending
