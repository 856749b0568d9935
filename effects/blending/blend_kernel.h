// The Blending effect's blend kernel: 29 blend modes over the colour channels of two float
// pixels, mixed with the base and clamped to 0..1.
//
// BlendPixel runs once per pixel and repetition (up to five per pixel on 4K frames), so it
// and its per-channel formulas live here and are forced inline into the per-pixel routine:
// one switch, then straight arithmetic on registers. The row loops are compiled per mode (the
// effect's RowConstant), so the switch folds away and, for the four HSL modes, only the parts
// of the conversions whose result the mode uses remain. Results are specified to the bit; see
// hsl.h for the build flags this needs and framework/arithmetic.h for the macOS arithmetic switch.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "effects/blending/hsl.h"
#include "platform/pf_basic.h"

// The switch is too large for the compilers' own inlining limits, but inlined, the pixel stays
// in registers between repetitions instead of going through memory and a call each time
// (about three times faster for the simple modes).
#if defined(_MSC_VER)
#define TAVU_FORCE_INLINE __forceinline
#else
#define TAVU_FORCE_INLINE inline __attribute__((always_inline))
#endif

namespace tavu::blending {
inline namespace TAVU_ARITHMETIC {

// ---- the modes -----------------------------------------------------------------------------

// Mode numbers as the kernel receives them: the "Blending Mode" popup value - 1.
enum BlendMode : int32_t {
  kBlendNormal = 0,
  kBlendLighten = 1,
  kBlendDarken = 2,
  kBlendMultiply = 3,
  kBlendAverage = 4,
  kBlendAdd = 5,
  kBlendSubtract = 6,
  kBlendDifference = 7,
  kBlendNegation = 8,
  kBlendExclusion = 9,
  kBlendScreen = 10,
  kBlendOverlay = 11,
  kBlendSoftLight = 12,
  kBlendHardLight = 13,
  kBlendColorDodge = 14,
  kBlendColorBurn = 15,
  kBlendLinearDodge = 16,
  kBlendLinearBurn = 17,
  kBlendLinearLight = 18,
  kBlendVividLight = 19,
  kBlendPinLight = 20,
  kBlendHardMix = 21,
  kBlendReflect = 22,
  kBlendGlow = 23,
  kBlendPhoenix = 24,
  kBlendHue = 25,
  kBlendSaturation = 26,
  kBlendColor = 27,
  kBlendLuminosity = 28,
};

struct BlendModeInfo {
  BlendMode mode;
  std::string_view name;  // as the popup shows it
};

// Every mode in popup order; the choice text below and the tests are built from this table.
inline constexpr std::array<BlendModeInfo, 29> kBlendModes{{
    {kBlendNormal, "Normal"},
    {kBlendLighten, "Lighten"},
    {kBlendDarken, "Darken"},
    {kBlendMultiply, "Multiply"},
    {kBlendAverage, "Average"},
    {kBlendAdd, "Add"},
    {kBlendSubtract, "Subtract"},
    {kBlendDifference, "Difference"},
    {kBlendNegation, "Negation"},
    {kBlendExclusion, "Exclusion"},
    {kBlendScreen, "Screen"},
    {kBlendOverlay, "Overlay"},
    {kBlendSoftLight, "Soft Light"},
    {kBlendHardLight, "Hard Light"},
    {kBlendColorDodge, "Color Dodge"},
    {kBlendColorBurn, "Color Burn"},
    {kBlendLinearDodge, "Linear Dodge"},
    {kBlendLinearBurn, "Linear Burn"},
    {kBlendLinearLight, "Linear Light"},
    {kBlendVividLight, "Vivid Light"},
    {kBlendPinLight, "Pin Light"},
    {kBlendHardMix, "Hard Mix"},
    {kBlendReflect, "Reflect"},
    {kBlendGlow, "Glow"},
    {kBlendPhoenix, "Phoenix"},
    {kBlendHue, "Hue"},
    {kBlendSaturation, "Saturation"},
    {kBlendColor, "Color"},
    {kBlendLuminosity, "Luminosity"},
}};

inline constexpr int32_t kBlendModeCount = static_cast<int32_t>(kBlendModes.size());

namespace detail {

// The popup maps its value - 1 straight to the mode number, so the table must be in order.
constexpr bool ModesInNumberOrder() {
  for (std::size_t i = 0; i < kBlendModes.size(); ++i) {
    if (kBlendModes[i].mode != static_cast<int32_t>(i)) return false;
  }
  return true;
}
static_assert(ModesInNumberOrder(), "kBlendModes must list the modes by number");

constexpr std::size_t ChoiceTextSize() {
  std::size_t size = 0;
  for (const BlendModeInfo& info : kBlendModes) size += info.name.size() + 1;  // '|' or '\0'
  return size;
}

struct ChoiceText {
  char text[ChoiceTextSize()];
};

constexpr ChoiceText JoinModeNames() {
  ChoiceText out{};
  std::size_t at = 0;
  for (const BlendModeInfo& info : kBlendModes) {
    if (at != 0) out.text[at++] = '|';
    for (char c : info.name) out.text[at++] = c;
  }
  out.text[at] = '\0';
  return out;
}

inline constexpr ChoiceText kModeChoiceText = JoinModeNames();

}  // namespace detail

// The "Blending Mode" popup's choice string, "Normal|Lighten|...|Luminosity", built at compile
// time so the host can keep the pointer for the module's lifetime.
inline constexpr const char* kBlendModeChoices = detail::kModeChoiceText.text;

// ---- per-channel formulas ------------------------------------------------------------------
// t is the base channel, o the blend channel, the result the raw (unmixed, unclamped) value.
// Each formula rounds in its written operation order, which the results depend on to the bit; do
// not simplify.
namespace channel {

inline float AtMostOne(float v) { return v >= 1.0f ? 1.0f : v; }  // NaN passes
inline float AtLeastZero(float v) { return v > 0.0f ? v : 0.0f; }  // NaN becomes 0

// The modules' "== 1" and "== 0" guards are also taken by a NaN, and then hand that NaN on
// (this matters where the unguarded path would have floored a NaN to 0, e.g. Color Burn).
inline bool GuardTaken(float tested, float limit) { return tested == limit || std::isnan(tested); }
inline float GuardValue(float tested, float limit) { return std::isnan(tested) ? tested : limit; }

// n / (1 - w) capped at 1; w == 1 gives 1. Color Dodge, Vivid Light's upper half, Reflect, Glow.
inline float DodgeQuotient(float n, float w) {
  if (GuardTaken(w, 1.0f)) return GuardValue(w, 1.0f);
  return AtMostOne(n / (1.0f - w));
}

// 1 - ((1 - t) / w) floored at 0; w == 0 gives 0. Color Burn, Vivid Light's lower half.
inline float BurnQuotient(float t, float w) {
  if (GuardTaken(w, 0.0f)) return GuardValue(w, 0.0f);
  return AtLeastZero(1.0f - ((1.0f - t) / w));
}

inline float Normal(float, float o) { return o; }
inline float Lighten(float t, float o) { return o > t ? o : t; }
inline float Darken(float t, float o) { return o >= t ? t : o; }
inline float Multiply(float t, float o) { return t * o; }
inline float Average(float t, float o) { return (t + o) * 0.5f; }
inline float Add(float t, float o) { return AtMostOne(t + o); }
inline float Subtract(float t, float o) { return AtLeastZero((t + o) - 1.0f); }
inline float Difference(float t, float o) { return std::fabs(t - o); }
inline float Negation(float t, float o) { return 1.0f - std::fabs((1.0f - t) - o); }
inline float Exclusion(float t, float o) { return (o + t) - ((t * 2.0f) * o); }
inline float Screen(float t, float o) { return 1.0f - ((1.0f - t) * (1.0f - o)); }

// Overlay tests the base, Hard Light the blend; a tested value of exactly 0.5 goes up.
inline float Overlay(float t, float o) {
  return t >= 0.5f ? 1.0f - ((1.0f - o) * ((1.0f - t) * 2.0f)) : (t * 2.0f) * o;
}
inline float HardLight(float t, float o) {
  return o >= 0.5f ? 1.0f - ((1.0f - t) * ((1.0f - o) * 2.0f)) : (o * 2.0f) * t;
}

// A negative base (float worlds) takes the root of a negative in the upper half; the NaN is
// left for the mix clamp.
inline float SoftLight(float t, float o) {
  return o >= 0.5f ? (std::sqrt(t) * ((o * 2.0f) - 1.0f)) + ((1.0f - o) * (t * 2.0f))
                   : ((1.0f - (o * 2.0f)) * (t * t)) + ((t * 2.0f) * o);
}

inline float ColorDodge(float t, float o) { return DodgeQuotient(t, o); }
inline float ColorBurn(float t, float o) { return BurnQuotient(t, o); }

inline float LinearLight(float t, float o) {
  return o >= 0.5f ? AtMostOne(((o - 0.5f) * 2.0f) + t) : AtLeastZero(((o * 2.0f) + t) - 1.0f);
}

inline float VividLight(float t, float o) {
  return o >= 0.5f ? DodgeQuotient(t, (o - 0.5f) * 2.0f) : BurnQuotient(t, o * 2.0f);
}

// Lighten against the stretched upper half of the blend, Darken against the lower half.
inline float PinLight(float t, float o) {
  return o >= 0.5f ? Lighten(t, (o - 0.5f) * 2.0f) : Darken(t, o * 2.0f);
}

inline float HardMix(float t, float o) {
  const float v = VividLight(t, o);
  if constexpr (kMacArithmetic) {
    return v < 0.5f ? 0.0f : 1.0f;  // the macOS module's test: a NaN Vivid Light value gives 1
  } else {
    return v >= 0.5f ? 1.0f : 0.0f;  // the Windows module's test: NaN gives 0
  }
}

inline float Reflect(float t, float o) { return DodgeQuotient(t * t, o); }
inline float Glow(float t, float o) { return Reflect(o, t); }  // Reflect with the roles swapped

inline float Phoenix(float t, float o) {
  const float lo = t >= o ? o : t;
  const float hi = t > o ? t : o;
  return (lo - hi) + 1.0f;
}

template <float (*Formula)(float, float)>
inline void ForEachColour(const PF_PixelFloat& base, const PF_PixelFloat& blend, PF_PixelFloat& raw) {
  raw.red = Formula(base.red, blend.red);
  raw.green = Formula(base.green, blend.green);
  raw.blue = Formula(base.blue, blend.blue);
}

}  // namespace channel

// ---- the kernel ----------------------------------------------------------------------------

// Raw result of the HSL modes: Hue (25), Saturation (26), Color (27), and Luminosity for every
// other mode number, which is how out-of-range numbers end up as Luminosity.
inline PF_PixelFloat HslModeResult(const PF_PixelFloat& base, const PF_PixelFloat& blend,
                                   int32_t mode) {
  switch (mode) {
    case kBlendHue: return CombineHsl(&base, &blend, kHslHue);
    case kBlendSaturation: return CombineHsl(&base, &blend, kHslSaturation);
    case kBlendColor: return CombineHsl(&base, &blend, kHslColor);
    default: return CombineHsl(&base, &blend, kHslLuminosity);  // 28, above 28, negative
  }
}

// result.rgb = ((1 - mix) * base.rgb) + (mix * raw.rgb), clamped to 0..1 (a NaN becomes 0 on
// Windows and stays NaN on macOS, see ClampUnit). Even mix 0 clamps the base. result.alpha is
// not touched. Each channel reads its inputs before writing, so result may alias base or raw.
inline void MixPixel(const PF_PixelFloat& base, const PF_PixelFloat& raw, PF_PixelFloat& result,
                     float mix) {
  const float keep = 1.0f - mix;  // formed once per call, as the modules do
  result.red = ClampUnit((keep * base.red) + (mix * raw.red));
  result.green = ClampUnit((keep * base.green) + (mix * raw.green));
  result.blue = ClampUnit((keep * base.blue) + (mix * raw.blue));
}

// Blends the colour channels of blend onto base by mode, mixes with base by mix and clamps;
// result.alpha is always 1. The alphas of base and blend are never read. Mode numbers outside
// 0..27 (28, anything above, negatives) give Luminosity.
TAVU_FORCE_INLINE void BlendPixel(const PF_PixelFloat& base, const PF_PixelFloat& blend,
                                  PF_PixelFloat& result, int32_t mode, float mix) {
  using namespace channel;
  PF_PixelFloat raw{};
  switch (mode) {
    case kBlendNormal: ForEachColour<Normal>(base, blend, raw); break;
    case kBlendLighten: ForEachColour<Lighten>(base, blend, raw); break;
    case kBlendDarken: ForEachColour<Darken>(base, blend, raw); break;
    case kBlendMultiply: ForEachColour<Multiply>(base, blend, raw); break;
    case kBlendAverage: ForEachColour<Average>(base, blend, raw); break;
    case kBlendAdd:
    case kBlendLinearDodge: ForEachColour<Add>(base, blend, raw); break;
    case kBlendSubtract:
    case kBlendLinearBurn: ForEachColour<Subtract>(base, blend, raw); break;
    case kBlendDifference: ForEachColour<Difference>(base, blend, raw); break;
    case kBlendNegation: ForEachColour<Negation>(base, blend, raw); break;
    case kBlendExclusion: ForEachColour<Exclusion>(base, blend, raw); break;
    case kBlendScreen: ForEachColour<Screen>(base, blend, raw); break;
    case kBlendOverlay: ForEachColour<Overlay>(base, blend, raw); break;
    case kBlendSoftLight: ForEachColour<SoftLight>(base, blend, raw); break;
    case kBlendHardLight: ForEachColour<HardLight>(base, blend, raw); break;
    case kBlendColorDodge: ForEachColour<ColorDodge>(base, blend, raw); break;
    case kBlendColorBurn: ForEachColour<ColorBurn>(base, blend, raw); break;
    case kBlendLinearLight: ForEachColour<LinearLight>(base, blend, raw); break;
    case kBlendVividLight: ForEachColour<VividLight>(base, blend, raw); break;
    case kBlendPinLight: ForEachColour<PinLight>(base, blend, raw); break;
    case kBlendHardMix: ForEachColour<HardMix>(base, blend, raw); break;
    case kBlendReflect: ForEachColour<Reflect>(base, blend, raw); break;
    case kBlendGlow: ForEachColour<Glow>(base, blend, raw); break;
    case kBlendPhoenix: ForEachColour<Phoenix>(base, blend, raw); break;
    default: raw = HslModeResult(base, blend, mode); break;
  }
  MixPixel(base, raw, result, mix);
  result.alpha = 1.0f;
}

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu::blending
