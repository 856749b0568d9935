// What every effect's main source defines, in one line: its identity and its two render
// commands, which run the framework's one render procedure over the effect's traits type (see
// effect_traits.h).
#pragma once

#include "framework/effect_interface.h"
#include "framework/render_commands.h"

#define TAVU_EFFECT_MODULE(EffectTraits, identity)                                               \
  namespace tavu::effect {                                                                       \
  const EffectIdentity kIdentity = identity;                                                     \
  PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],                 \
                PF_LayerDef* output) {                                                           \
    return framework::RenderCommand<EffectTraits>(in_data, out_data, params, output);            \
  }                                                                                              \
  PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {     \
    return framework::SmartRenderCommand<EffectTraits>(in_data, out_data, extra);                \
  }                                                                                              \
  }
