// Brightness Check: pixels whose luma reaches the highlight threshold take the highlight colour,
// pixels at or below the shadow threshold the shadow colour, mixed with their own colour; every
// output pixel is opaque.
#pragma once

#include "effects/brightness_check/parameters.h"
#include "framework/arithmetic.h"
#include "framework/param_setup.h"
#include "framework/pixel_layout.h"
#include "framework/render_data.h"

namespace tavu::brightness_check {
inline namespace TAVU_ARITHMETIC {

struct ParamBlock {
  float highlightClamp;           // threshold on the working pixel's 0..1 scale
  float shadowClamp;
  PF_PixelFloat highlightColor;   // alpha, red, green, blue
  PF_PixelFloat shadowColor;
  float mix;                      // "Mix" / 100
};
static_assert(sizeof(ParamBlock) == 44, "the sequence data holds exactly one 44-byte block");

// Premiere Pro's threshold sliders run over 0..255.
inline float ThresholdFromPremiere(float v) {
#if TAVU_MACOS_ARITHMETIC
  return v / 255.0f;
#else
  return v * ChannelScale<A_u_char>::kToFloat;
#endif
}

struct Effect {
  using ParamBlock = brightness_check::ParamBlock;
  static constexpr int kParamCount = brightness_check::kParamCount;

  static PF_Err ParamsAssign(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_LayerDef*,
                             PF_LayerDef*, RenderData* rd) {
    ParamBlock* b = MutableBlockOf<ParamBlock>(rd);
    if (b == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    // The colours convert as 8-bit pixels do: each channel times the single-precision value
    // nearest 1/255 (0x3B808081), never divided by 255.
    b->highlightColor = LayoutArgb8::ToWorking(params[kHighlightColor]->u.cd.value);
    b->shadowColor = LayoutArgb8::ToWorking(params[kShadowColor]->u.cd.value);
    b->highlightClamp = static_cast<float>(params[kHighlightClamp]->u.fs_d.value);
    b->shadowClamp = static_cast<float>(params[kShadowClamp]->u.fs_d.value);
    if (in_data->appl_id == PF_APPL_ID_PREMIERE) {
      b->highlightClamp = ThresholdFromPremiere(b->highlightClamp);
      b->shadowClamp = ThresholdFromPremiere(b->shadowClamp);
    }
    b->mix = framework::MixFactor(params[kMix]->u.fs_d.value);
    return PF_Err_NONE;
  }

  static void Process(int, int, PF_PixelFloat* pixel, const RenderData* rd) {
    const ParamBlock& b = BlockOf<ParamBlock>(rd);
    const float r = pixel->red, g = pixel->green, bl = pixel->blue;
    // Float frames weigh by Rec. 601 (0x3E991687, 0x3F1645A2, 0x3DE978D5), 8- and 16-bit frames
    // by Rec. 709 (0x3E59999A, 0x3F372474, 0x3D93A92A); which pixels reach a threshold hangs on
    // these exact bits.
    const bool floatFrame = rd->bitsPerChannel == 32;
    const float wR = floatFrame ? 0.299f : 0.2125f;
    const float wG = floatFrame ? 0.587f : 0.7154f;
    const float wB = floatFrame ? 0.114f : 0.0721f;
    // Red and green are added first; 8-bit white sums to 0.99999994, not 1.
    const float luma = (wR * r + wG * g) + wB * bl;

    // The colour's weight is derived from the pixel's weight, not taken from mix itself: for
    // Mix 30 that is 0.29999995, not 0.29999998.
    const float keep = 1.0f - b.mix;
    const float h = 1.0f - keep;

    const PF_PixelFloat* color = nullptr;
    if (luma >= b.highlightClamp) {
      color = &b.highlightColor;
#if TAVU_MACOS_ARITHMETIC
    } else if (b.shadowClamp >= luma) {  // a NaN luma keeps its colour here
#else
    } else if (!(luma > b.shadowClamp)) {  // a NaN luma takes the shadow colour here
#endif
      color = &b.shadowColor;
    }
    if (color != nullptr) {
      pixel->red = h * color->red + keep * r;
      pixel->green = h * color->green + keep * g;
      pixel->blue = h * color->blue + keep * bl;
    }
    pixel->alpha = 1.0f;
  }
};

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu::brightness_check
