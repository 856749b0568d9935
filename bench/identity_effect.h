// The identity effect: the render pipeline's own cost, with a Process that changes nothing.
#pragma once

#include "framework/render_data.h"

namespace tavu::bench {

struct IdentityEffect {
  struct ParamBlock {
    int32_t unused;
  };
  static constexpr int kParamCount = 0;
  static PF_Err ParamsAssign(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, PF_LayerDef*,
                             RenderData*) {
    return PF_Err_NONE;
  }
  static void Process(int, int, PF_PixelFloat*, const RenderData*) {}
};

}  // namespace tavu::bench
