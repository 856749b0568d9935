#include "effects/combine_rgba/combine_rgba.h"
#include "effects/combine_rgba/identity.h"
#include "framework/render_commands.h"

namespace tavu::effect {

const EffectIdentity kIdentity = combine_rgba::kIdentity;

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output) {
  return framework::RenderCommand<combine_rgba::Effect>(in_data, out_data, params, output);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  return framework::SmartRenderCommand<combine_rgba::Effect>(in_data, out_data, extra);
}

}  // namespace tavu::effect
