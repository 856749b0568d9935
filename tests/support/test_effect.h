// A small effect that exists only in the test tree, so the framework can be driven end to end
// before (and independently of) the real effects. Tests steer it through these hooks.
#pragma once

#include <functional>

#include "platform/pf_effect.h"

namespace tavu::testing {

struct TestEffectHooks {
  std::function<PF_Err(PF_InData*, PF_OutData*)> paramsSetup;
  std::function<PF_Err(PF_InData*, PF_OutData*, PF_LayerDef*)> render;
  std::function<PF_Err(PF_InData*, PF_OutData*, PF_SmartRenderExtra*)> smartRender;
};

// Reset to empty hooks (every handler then answers 0) at the start of each test.
TestEffectHooks& TestEffect();

}  // namespace tavu::testing
