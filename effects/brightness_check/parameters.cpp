#include "effects/brightness_check/parameters.h"

#include "framework/effect_interface.h"
#include "framework/param_setup.h"

namespace tavu::effect {

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  using namespace framework;
  // Premiere Pro shows the thresholds as 0..255; After Effects as 0..1 in the project's pixel
  // scale (the PIXEL display flag).
  const double x = in_data->appl_id == PF_APPL_ID_PREMIERE ? 255.0 : 1.0;
  const ParamSpec params[] = {
      FloatSliderParam("Highlight Clamp Value", 0, x, x, PF_Precision_INTEGER,
                       PF_ValueDisplayFlag_PIXEL),
      FloatSliderParam("Shadow Clamp Value", 0, x, 0, PF_Precision_INTEGER,
                       PF_ValueDisplayFlag_PIXEL),
      ColorParam("Highlight Color", PF_Pixel{255, 255, 0, 0}),
      ColorParam("Shadow Color", PF_Pixel{255, 0, 0, 255}),
      MixParam(),
  };
  static_assert(sizeof params / sizeof params[0] == brightness_check::kParamCount);
  return AddParameters(in_data, out_data, params);
}

}  // namespace tavu::effect
