#include "effects/blending/parameters.h"

#include "effects/blending/blend_kernel.h"

#include "framework/effect_interface.h"
#include "framework/param_setup.h"

namespace tavu::effect {

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  using namespace framework;
  using namespace blending;
  const ParamSpec params[] = {
      LayerParam("Input 2"),
      CheckboxParam("Swap Inputs", false),
      PopupParam("Blending Mode", kBlendModeChoices, 1),
      SliderParam("Intensity", 1, kMaxIntensity, 1),
      PopupParam("Output Channel", kOutputChannelChoices, 1),
      MixParam(),
  };
  static_assert(sizeof params / sizeof params[0] == kParamCount);
  return AddParameters(in_data, out_data, params);
}

}  // namespace tavu::effect
