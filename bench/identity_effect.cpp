// The identity effect as the one effect of the benchmark's module-in-a-binary.
#include "bench/identity_effect.h"

#include "framework/effect_interface.h"
#include "framework/render_commands.h"

namespace tavu::effect {

const EffectIdentity kIdentity{"tavu-Identity", "ZELQ Identity", "Identity\rfor benchmarks", 0, 4};

PF_Err ParamsSetup(PF_InData*, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  out_data->num_params = 1;
  return PF_Err_NONE;
}

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output) {
  return framework::RenderCommand<bench::IdentityEffect>(in_data, out_data, params, output);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  return framework::SmartRenderCommand<bench::IdentityEffect>(in_data, out_data, extra);
}

}  // namespace tavu::effect
