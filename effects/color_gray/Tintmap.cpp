#include "effects/color_gray/color_gray.h"
#include "effects/color_gray/identity.h"
#include "framework/render_commands.h"

namespace tavu::effect {

const EffectIdentity kIdentity = color_gray::kIdentity;

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output) {
  return framework::RenderCommand<color_gray::Effect>(in_data, out_data, params, output);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  return framework::SmartRenderCommand<color_gray::Effect>(in_data, out_data, extra);
}

}  // namespace tavu::effect
