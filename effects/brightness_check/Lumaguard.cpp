#include "effects/brightness_check/brightness_check.h"
#include "effects/brightness_check/identity.h"
#include "framework/render_commands.h"

namespace tavu::effect {

const EffectIdentity kIdentity = brightness_check::kIdentity;

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output) {
  return framework::RenderCommand<brightness_check::Effect>(in_data, out_data, params, output);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  return framework::SmartRenderCommand<brightness_check::Effect>(in_data, out_data, extra);
}

}  // namespace tavu::effect
