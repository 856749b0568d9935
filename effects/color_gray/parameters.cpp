#include "effects/color_gray/parameters.h"

#include "framework/effect_interface.h"
#include "framework/param_setup.h"

namespace tavu::effect {

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  using namespace framework;
  using namespace color_gray;
  const ParamSpec params[] = {
      LayerParam("Color Reference"),
      PopupParam("Grayscale Source", kGraySourceChoices, 1),
      PopupParam("Color Source Lookup", kLookupChoices, 1),
      MixParam(),
  };
  static_assert(sizeof params / sizeof params[0] == kParamCount);
  return AddParameters(in_data, out_data, params);
}

}  // namespace tavu::effect
