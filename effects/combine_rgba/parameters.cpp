#include "effects/combine_rgba/parameters.h"

#include "framework/effect_interface.h"
#include "framework/param_setup.h"

namespace tavu::effect {

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  using namespace framework;
  using combine_rgba::kChannelChoices;
  // With the defaults every output channel takes its own channel.
  const ParamSpec params[] = {
      LayerParam("Input2"),
      PopupParam("Red Channel", kChannelChoices, 1),
      PopupParam("Green Channel", kChannelChoices, 2),
      PopupParam("Blue Channel", kChannelChoices, 3),
      PopupParam("Alpha Channel", kChannelChoices, 4),
      MixParam(),
  };
  static_assert(sizeof params / sizeof params[0] == combine_rgba::kParamCount);
  return AddParameters(in_data, out_data, params);
}

}  // namespace tavu::effect
