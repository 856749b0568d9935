#include "tests/support/probe_effect.h"

#include "framework/param_setup.h"

namespace tavu::testing {

PF_Err ProbeEffect::ParamsSetup(PF_InData* in_data, PF_OutData* out_data) {
  using namespace framework;
  static const ParamSpec kParams[] = {
      LayerParam("Layer"),
      PopupParam("Mode", kModeChoices, kIdentity),
      FloatSliderParam("Value", -100000, 100000, 1, PF_Precision_HUNDREDTHS, 0),
      SliderParam("Tag", 0, 1000, 0),
  };
  return AddParameters(in_data, out_data, kParams);
}

PF_Err ProbeEffect::ParamsAssign(PF_InData*, PF_OutData*, PF_ParamDef* params[], PF_LayerDef*,
                                 PF_LayerDef*, RenderData* rd) {
  ParamBlock* b = MutableBlockOf<ParamBlock>(rd);
  if (b == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  b->layer = &params[kLayer]->u.ld;
  b->mode = params[kMode]->u.pd.value;
  b->value = static_cast<float>(params[kValue]->u.fs_d.value);
  b->tag = params[kTag]->u.sd.value;
  return PF_Err_NONE;
}

}  // namespace tavu::testing
