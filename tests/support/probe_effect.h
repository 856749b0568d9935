// The probe: a small effect that exists only in the test tree, so the whole render road (render
// commands, driver, row routines, readers, samplers) is driven end to end independently of the
// real effects. Its Process writes a function of the position, the pixel, its parameters and a
// second layer, chosen by its "Mode" parameter.
#pragma once

#include <cstdint>

#include "framework/render_data.h"

namespace tavu::testing {

struct ProbeEffect {
  enum Param { kLayer = 1, kMode, kValue, kTag };
  enum Mode {
    kIdentity = 1,
    kPosition,     // alpha = Value, red = x, green = y, blue = Tag
    kScale,        // every channel times Value
    kPremReader,   // the second layer through AEPrem_GetPixel; (0, 0, 0, 0) outside it
    kFrameReader,  // the same through AE_GetPixel
    kSampler,      // the second layer through AE_SamplePixel at (x + Value, y)
  };
  static constexpr char kModeChoices[] =
      "Identity|Position|Scale|Prem Reader|Frame Reader|Sampler";

  struct ParamBlock {
    int32_t mode;
    float value;
    int32_t tag;
    PF_LayerDef* layer;
  };
  static constexpr int kParamCount = kTag;

  static PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data);
  static PF_Err ParamsAssign(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            PF_LayerDef* input, PF_LayerDef* output, RenderData* rd);

  static void Process(int x, int y, PF_PixelFloat* pixel, const RenderData* rd) {
    const ParamBlock& b = BlockOf<ParamBlock>(rd);
    const PF_LayerDef* layer = b.layer;
    const bool inside = x >= 0 && y >= 0 && x < layer->width && y < layer->height &&
                        layer->data != nullptr;
    switch (b.mode) {
      case kPosition:
        *pixel = PF_PixelFloat{b.value, static_cast<float>(x), static_cast<float>(y),
                               static_cast<float>(b.tag)};
        break;
      case kScale:
        *pixel = PF_PixelFloat{pixel->alpha * b.value, pixel->red * b.value,
                               pixel->green * b.value, pixel->blue * b.value};
        break;
      case kPremReader:
        *pixel = PF_PixelFloat{};
        if (inside) rd->AEPrem_GetPixel(layer, x, y, pixel);
        break;
      case kFrameReader:
        *pixel = PF_PixelFloat{};
        if (inside) rd->AE_GetPixel(layer, x, y, pixel);
        break;
      case kSampler:
        rd->AE_SamplePixel(rd, b.layer, static_cast<float>(x) + b.value, static_cast<float>(y),
                           pixel);
        break;
      default:
        break;
    }
  }
};

}  // namespace tavu::testing
