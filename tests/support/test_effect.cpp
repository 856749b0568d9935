#include "tests/support/test_effect.h"

#include "framework/effect_interface.h"
#include "framework/render_commands.h"
#include "tests/support/probe_effect.h"

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
  return hook ? hook(in_data, out_data) : testing::ProbeEffect::ParamsSetup(in_data, out_data);
}

PF_Err Render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
              PF_LayerDef* output) {
  auto& hook = testing::TestEffect().render;
  return hook ? hook(in_data, out_data, output)
              : framework::RenderCommand<testing::ProbeEffect>(in_data, out_data, params, output);
}

PF_Err SmartRender(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  auto& hook = testing::TestEffect().smartRender;
  return hook ? hook(in_data, out_data, extra)
              : framework::SmartRenderCommand<testing::ProbeEffect>(in_data, out_data, extra);
}

}  // namespace tavu::effect
