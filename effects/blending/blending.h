// Blending: the layer and a second layer combined by one of 29 modes, repeated "Intensity" times,
// limited to the chosen output channels and mixed with the unblended base pixel.
#pragma once

#include <cstdint>

#include "effects/blending/blend_kernel.h"
#include "effects/blending/parameters.h"
#include "framework/effect_traits.h"
#include "framework/arithmetic.h"
#include "framework/param_setup.h"
#include "framework/render_data.h"

namespace tavu::blending {
inline namespace TAVU_ARITHMETIC {

enum OutputChannel : int32_t { kRGB, kRGBA, kRed, kGreen, kBlue, kAlpha };

struct ParamBlock {
  int32_t swapInputs;     // 0 off, anything else on
  int32_t outputChannel;  // OutputChannel
  int32_t blendMode;      // 0..28; anything else blends as Luminosity
  float mix;              // "Mix" / 100
  int32_t intensity;      // kernel repetitions, 1..5
  PF_LayerDef* input2;    // valid only during the render that wrote it
};
static_assert(sizeof(ParamBlock) == 32, "the sequence data holds exactly one 32-byte block");

struct Effect {
  using ParamBlock = blending::ParamBlock;
  static constexpr int kParamCount = blending::kParamCount;
  // The mode is fixed per render: each gets a pixel loop with its own formula inlined.
  using RowConstant = framework::RowConstant<&ParamBlock::blendMode, 0, kBlendModeCount - 1>;

  static PF_Err ParamsAssign(PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_LayerDef*,
                             PF_LayerDef*, RenderData* rd) {
    ParamBlock* b = MutableBlockOf<ParamBlock>(rd);
    if (b == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    b->blendMode = framework::PopupCode(params[kBlendingMode]->u.pd.value);
    b->outputChannel = framework::PopupCode(params[kOutputChannel]->u.pd.value);
    b->intensity = params[kIntensity]->u.sd.value;
    b->mix = framework::MixFactor(params[kMix]->u.fs_d.value);
    b->input2 = &params[kInput2]->u.ld;
    b->swapInputs = params[kSwapInputs]->u.bd.value;
    return PF_Err_NONE;
  }

  static void Process(int x, int y, PF_PixelFloat* pixel, const RenderData* rd) {
    const ParamBlock& b = BlockOf<ParamBlock>(rd);

    // The second layer's own alpha never takes part: inside it the sample is opaque, outside it
    // (or when it carries no pixels) all four channels are zero. It is read in the frame's own
    // channel order, so Premiere Pro's BGRA frames blend the same colours as After Effects.
    PF_PixelFloat second{0.0f, 0.0f, 0.0f, 0.0f};
    const PF_LayerDef* in2 = b.input2;
    if (in2->data != nullptr && x >= 0 && x < in2->width && y >= 0 && y < in2->height) {
      rd->AE_GetPixel(in2, x, y, &second);
      second.alpha = 1.0f;
    }

    const PF_PixelFloat base = b.swapInputs == 0 ? *pixel : second;
    const PF_PixelFloat top = b.swapInputs == 0 ? second : *pixel;

    // Each repetition blends the previous result with the same top pixel, mix applied inside.
    // The slider stops at 5; a larger value from a misbehaving host must not stall the render.
    const int32_t repetitions = b.intensity < kMaxIntensity ? b.intensity : kMaxIntensity;
    PF_PixelFloat cur = base;
    for (int32_t i = 0; i < repetitions; ++i) {
      PF_PixelFloat out;
      BlendPixel(cur, top, out, b.blendMode, b.mix);
      cur = out;
    }

    PF_PixelFloat q = base;
    switch (b.outputChannel) {
      case kRGB: q.red = cur.red, q.green = cur.green, q.blue = cur.blue; break;
      case kRGBA: q = cur; break;
      case kRed: q.red = cur.red; break;
      case kGreen: q.green = cur.green; break;
      case kBlue: q.blue = cur.blue; break;
      case kAlpha: q.alpha = cur.alpha; break;
      default: break;
    }

    // The final mix is not clamped: in float frames the base keeps any excess above 1.
    const float keep = 1.0f - b.mix;
    pixel->alpha = keep * base.alpha + b.mix * q.alpha;
    pixel->red = keep * base.red + b.mix * q.red;
    pixel->green = keep * base.green + b.mix * q.green;
    pixel->blue = keep * base.blue + b.mix * q.blue;
  }
};

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu::blending
