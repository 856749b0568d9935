// Placeholders for the lifecycle handlers until they are built; each answers success and
// touches nothing.
#include "framework/handlers.h"

namespace tavu::framework {

PF_Err About(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }
PF_Err GlobalSetup(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }
PF_Err GlobalSetdown(PF_InData*) { return PF_Err_NONE; }
PF_Err SequenceSetup(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) { return PF_Err_NONE; }
PF_Err SequenceResetup(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) {
  return PF_Err_NONE;
}
PF_Err SequenceSetdown(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) {
  return PF_Err_NONE;
}
PF_Err SmartPreRender(PF_InData*, PF_OutData*, PF_PreRenderExtra*) { return PF_Err_NONE; }

}  // namespace tavu::framework
