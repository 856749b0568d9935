#include "effects/color_gray/identity.h"

namespace tavu::effect {

const EffectIdentity kIdentity = color_gray::kIdentity;

PF_Err Render(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }

PF_Err SmartRender(PF_InData*, PF_OutData*, PF_SmartRenderExtra*) { return PF_Err_NONE; }

}  // namespace tavu::effect
