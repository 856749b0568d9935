// What an effect hands to the framework. Each module is built from the framework and exactly one
// effect; the effect defines everything declared in tavu::effect, and the framework reaches the
// effect through these names only.
#pragma once

#include <cstddef>

#include "platform/pf_effect.h"

namespace tavu {

// The one place an effect states who it is. PluginDataEntryFunction, global set-up, About,
// sequence set-up and the property list all read it, so they cannot disagree.
struct EffectIdentity {
  const char* displayName;   // shown by the host, registered with the AEGP layer
  const char* matchName;     // stable across versions; projects refer to the effect by it
  const char* description;   // About text after the name and version line
  A_long extraOutFlags2;     // second-word flags this effect adds to the common ones
  std::size_t blockSize;     // bytes of the effect's parameter block in the sequence data
};

}  // namespace tavu

namespace tavu::effect {

extern const EffectIdentity kIdentity;

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);
PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output);
PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra);

}  // namespace tavu::effect
