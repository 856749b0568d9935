#include "tests/support/test_effect.h"

#include "framework/effect_interface.h"

namespace tavu::testing {
TestEffectHooks& TestEffect() {
  static TestEffectHooks hooks;
  return hooks;
}
}  // namespace tavu::testing

namespace tavu::effect {

const EffectIdentity kIdentity{"tavu-Test", "ZELQ Test", "Test effect\rby the test suite", 0, 16};

PF_Err ParamsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  auto& hook = testing::TestEffect().paramsSetup;
  return hook ? hook(in_data, out_data) : PF_Err_NONE;
}

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef* output) {
  auto& hook = testing::TestEffect().render;
  return hook ? hook(in_data, out_data, output) : PF_Err_NONE;
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  auto& hook = testing::TestEffect().smartRender;
  return hook ? hook(in_data, out_data, extra) : PF_Err_NONE;
}

}  // namespace tavu::effect
