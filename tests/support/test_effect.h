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

// Reset to empty hooks at the start of each test. Without a hook, parameter set-up and the two
// render commands are the probe's (probe_effect.h); the other handlers are the framework's.
TestEffectHooks& TestEffect();

}  // namespace tavu::testing
