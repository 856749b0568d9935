// Color Gray: each pixel's gray value (average, luma or lightness) picks a colour along one edge of
// a reference layer, which replaces the pixel's colour by the "Mix" share.
#pragma once

#include <cstdint>

#include "effects/color_gray/parameters.h"
#include "framework/arithmetic.h"
#include "framework/param_setup.h"
#include "framework/render_data.h"

namespace tavu::color_gray {
inline namespace TAVU_ARITHMETIC {

enum GraySource : int32_t { kAverage, kLuma, kLightness };
enum ColorLookup : int32_t { kLeftRight, kTopBottom };

struct ParamBlock {
  int32_t graySource;
  int32_t colorLookup;
  PF_LayerDef* colorReference;  // valid only during the render that wrote it
  float mix;                    // "Mix" / 100
};
static_assert(sizeof(ParamBlock) == 24, "the sequence data holds exactly one 24-byte block");

inline float GrayValue(int32_t source, float r, float g, float b) {
  switch (source) {
    case kLuma:
      // 0x3E991687, 0x3F1645A2, 0x3DE978D5; they sum to exactly 1, so white reads the last
      // column.
      return (0.299f * r + 0.587f * g) + 0.114f * b;
    case kLightness: {
      const float mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
      const float mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
      return (mx + mn) * 0.5f;
    }
    default:
      // Slightly below 1/3 (0x3EAAAA9F): white averages to 0.99999893, so Left-Right reads the
      // second-to-last column for it.
      return ((r + g) + b) * 0.333333f;
  }
}

// Position along the reference edge: (extent - 1) x gray, truncated toward zero. Widened so that
// no reference size makes the conversion overflow.
inline int64_t LookupPosition(A_long extent, float gray) {
  return static_cast<int64_t>(static_cast<float>(extent - 1) * gray);
}

struct Effect {
  using ParamBlock = color_gray::ParamBlock;
  static constexpr int kParamCount = color_gray::kParamCount;

  static PF_Err ParamsAssign(PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_LayerDef*,
                             PF_LayerDef*, RenderData* rd) {
    ParamBlock* b = MutableBlockOf<ParamBlock>(rd);
    if (b == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    b->colorReference = &params[kColorReference]->u.ld;
    b->graySource = framework::PopupCode(params[kGrayscaleSource]->u.pd.value);
    b->colorLookup = framework::PopupCode(params[kColorSourceLookup]->u.pd.value);
    b->mix = framework::MixFactor(params[kMix]->u.fs_d.value);
    return PF_Err_NONE;
  }

  static void Process(int, int, PF_PixelFloat* pixel, const RenderData* rd) {
    const ParamBlock& b = BlockOf<ParamBlock>(rd);
    float gray = GrayValue(b.graySource, pixel->red, pixel->green, pixel->blue);
#if TAVU_MACOS_ARITHMETIC
    // This clamp lets a NaN through; such a pixel then lies outside the reference (below).
    if (gray > 1.0f) gray = 1.0f;
    else if (gray < 0.0f) gray = 0.0f;
    const bool lookupValid = gray == gray;
#else
    if (gray > 1.0f) gray = 1.0f;
    else if (!(gray >= 0.0f)) gray = 0.0f;  // negative or NaN
    const bool lookupValid = true;
#endif

    // Black, opaque, wherever the position misses the reference or the reference has no pixels.
    PF_PixelFloat color{1.0f, 0.0f, 0.0f, 0.0f};
    const PF_LayerDef* ref = b.colorReference;
    if (lookupValid && ref->data != nullptr) {
      // Left-Right reads row 1, the second row; Top-Bottom reads column 0.
      const bool topBottom = b.colorLookup == kTopBottom;
      const int64_t x = topBottom ? 0 : LookupPosition(ref->width, gray);
      const int64_t y = topBottom ? LookupPosition(ref->height, gray) : 1;
      if (x >= 0 && x < ref->width && y >= 0 && y < ref->height) {
        rd->AE_GetPixel(ref, static_cast<int>(x), static_cast<int>(y), &color);
      }
    }

    const float m = b.mix;
    const float keep = 1.0f - m;
    pixel->alpha = keep * pixel->alpha + m;
    pixel->red = keep * pixel->red + m * color.red;
    pixel->green = keep * pixel->green + m * color.green;
    pixel->blue = keep * pixel->blue + m * color.blue;
  }
};

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu::color_gray
