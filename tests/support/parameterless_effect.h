// The least an effect needs to be rendered by the framework: no parameters and a Process that
// leaves every pixel as it is. Spy effects derive from it and replace Process.
#pragma once

#include "framework/render_data.h"

namespace tavu::testing {

struct ParameterlessEffect {
  using ParamBlock = int;
  static constexpr int kParamCount = 0;
  static PF_Err ParamsAssign(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, PF_LayerDef*,
                             RenderData*) {
    return PF_Err_NONE;
  }
  static void Process(int, int, PF_PixelFloat*, const RenderData*) {}
};

}  // namespace tavu::testing
