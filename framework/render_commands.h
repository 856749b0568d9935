// The render procedure every effect answers PF_Cmd_RENDER and PF_Cmd_SMART_RENDER with: find the
// instance's sequence data, obtain the input and output worlds, check out parameters 1..N, let the
// effect fill this render's own parameter block (ParamsAssign), run the driver, check every
// parameter in again and report one code.
//
// Each render works on its own copy of the block, on this stack, rather than on the bytes in the
// sequence-data handle: overlapping renders of one instance (threaded rendering, and Premiere
// Pro's shared sequence data) then each read exactly the values their own ParamsAssign wrote, with
// no lock held over the rows and no shared write. The handle must still exist and hold a block
// (512 otherwise, before any host call); its bytes stay as set-up left them.
#pragma once

#include <cstddef>

#include "framework/effect_traits.h"
#include "framework/render_driver.h"

namespace tavu::framework {

// What the procedure needs of an effect, with the per-render storage its template caller
// provides: the block copy and N + 1 definition records (entry 0 is never used).
struct RenderWork {
  int paramCount;
  ParamsAssignFunc paramsAssign;
  const RowRoutines* routines;
  void* block;
  PF_ParamDef* definitions;
  PF_ParamDef** table;
};

PF_Err RenderProcedure(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_LayerDef* output, const RenderWork& work);
PF_Err SmartRenderProcedure(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                            const RenderWork& work);

namespace detail {
template <class Effect>
struct RenderStorage {
  static_assert(CheckEffectTraits<Effect>());
  typename Effect::ParamBlock block{};
  PF_ParamDef definitions[Effect::kParamCount + 1];
  PF_ParamDef* table[Effect::kParamCount + 1] = {};

  RenderWork Work() {
    return RenderWork{Effect::kParamCount, &Effect::ParamsAssign, &kRowRoutines<Effect>, &block,
                      definitions, table};
  }
};
}  // namespace detail

template <class Effect>
PF_Err RenderCommand(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                     PF_LayerDef* output) {
  detail::RenderStorage<Effect> storage;
  return RenderProcedure(in_data, out_data, params, output, storage.Work());
}

template <class Effect>
PF_Err SmartRenderCommand(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra) {
  detail::RenderStorage<Effect> storage;
  return SmartRenderProcedure(in_data, out_data, extra, storage.Work());
}

}  // namespace tavu::framework
