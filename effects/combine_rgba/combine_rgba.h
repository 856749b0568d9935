// Combine RGBA: each output channel taken from one of eight sources (the layer's own four
// channels or the Input2 sample's), then mixed with the unchanged pixel.
#pragma once

#include <cstdint>

#include "effects/combine_rgba/parameters.h"
#include "framework/arithmetic.h"
#include "framework/param_setup.h"
#include "framework/render_data.h"

namespace tavu::combine_rgba {
inline namespace TAVU_ARITHMETIC {

// A popup's value - 1: where an output channel comes from.
enum ChannelSource : int32_t {
  kOriginalRed, kOriginalGreen, kOriginalBlue, kOriginalAlpha,
  kInput2Red, kInput2Green, kInput2Blue, kInput2Alpha,
  kSourceCount
};

struct ParamBlock {
  int32_t redSource;
  int32_t greenSource;
  int32_t blueSource;
  int32_t alphaSource;
  float mix;             // "Mix" / 100
  PF_LayerDef* input2;   // valid only during the render that wrote it
};
static_assert(sizeof(ParamBlock) == 32, "the sequence data holds exactly one 32-byte block");

inline bool FromInput2(int32_t code) { return code >= kInput2Red && code < kSourceCount; }
inline bool UsesInput2(const ParamBlock& b) {
  return FromInput2(b.redSource) || FromInput2(b.greenSource) || FromInput2(b.blueSource) ||
         FromInput2(b.alphaSource);
}

struct Effect {
  using ParamBlock = combine_rgba::ParamBlock;
  static constexpr int kParamCount = combine_rgba::kParamCount;

  static PF_Err ParamsAssign(PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_LayerDef*,
                             PF_LayerDef*, RenderData* rd) {
    ParamBlock* b = MutableBlockOf<ParamBlock>(rd);
    if (b == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    b->input2 = &params[kInput2]->u.ld;
    b->redSource = framework::PopupCode(params[kRedChannel]->u.pd.value);
    b->greenSource = framework::PopupCode(params[kGreenChannel]->u.pd.value);
    b->blueSource = framework::PopupCode(params[kBlueChannel]->u.pd.value);
    b->alphaSource = framework::PopupCode(params[kAlphaChannel]->u.pd.value);
    b->mix = framework::MixFactor(params[kMix]->u.fs_d.value);
    return PF_Err_NONE;
  }

  static void Process(int x, int y, PF_PixelFloat* pixel, const RenderData* rd) {
    const ParamBlock& b = BlockOf<ParamBlock>(rd);
    const PF_PixelFloat own = *pixel;

    // Outside Input2, or an Input2 that carries no pixels, every Input2 source is zero. The
    // sample is read in the frame's own channel order, so "Input2 Red" is Input2's red in
    // Premiere Pro's BGRA frames as in After Effects.
    // Input2 is read only when a channel takes from it (the default takes none).
    PF_PixelFloat sample{0.0f, 0.0f, 0.0f, 0.0f};
    const PF_LayerDef* in2 = b.input2;
    if (UsesInput2(b) && in2->data != nullptr && x >= 0 && x < in2->width && y >= 0 &&
        y < in2->height) {
      rd->AE_GetPixel(in2, x, y, &sample);
    }

    // Every pick reads the saved values, so exchanges such as red from blue and blue from red
    // work; a code outside the eight sources leaves its channel as it was.
    const float sources[kSourceCount] = {own.red,    own.green,    own.blue,    own.alpha,
                                         sample.red, sample.green, sample.blue, sample.alpha};
    auto route = [&sources](int32_t code, float unchanged) {
      return static_cast<uint32_t>(code) < kSourceCount ? sources[code] : unchanged;
    };
    const float red = route(b.redSource, own.red);
    const float green = route(b.greenSource, own.green);
    const float blue = route(b.blueSource, own.blue);
    const float alpha = route(b.alphaSource, own.alpha);

    const float keep = 1.0f - b.mix;
    pixel->red = keep * own.red + b.mix * red;
    pixel->green = keep * own.green + b.mix * green;
    pixel->blue = keep * own.blue + b.mix * blue;
    pixel->alpha = keep * own.alpha + b.mix * alpha;
  }
};

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu::combine_rgba
