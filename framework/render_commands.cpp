#include "framework/render_commands.h"

#include <cstring>

namespace tavu::framework {
namespace {

bool HasBlock(const PF_InData* in_data) {
  return in_data->sequence_data != nullptr && *in_data->sequence_data != nullptr;
}

// Every definition is checked in, whatever the codes; the first failing check-in's code is kept.
PF_Err CheckInAll(PF_InData* in_data, const RenderWork& work) {
  PF_Err first = PF_Err_NONE;
  for (int i = 1; i <= work.paramCount; ++i) {
    const PF_Err err = in_data->inter.checkin_param(in_data->effect_ref, work.table[i]);
    if (first == PF_Err_NONE) first = err;
  }
  return first;
}

PF_Err RenderWithWorlds(PF_InData* in_data, PF_OutData* out_data, PF_LayerDef* input,
                        PF_LayerDef* output, const RenderWork& work) {
  for (int i = 1; i <= work.paramCount; ++i) {
    PF_ParamDef* def = &work.definitions[i];
    std::memset(def, 0, sizeof *def);
    work.table[i] = def;
    // Not examined: after a failed check-out the zero-filled record stands in for the parameter
    // (a layer then has no pixels) and is checked in like the others.
    in_data->inter.checkout_param(in_data->effect_ref, i, in_data->current_time,
                                  in_data->time_step, in_data->time_scale, def);
  }

  RenderData rd{};
  rd.paramBlock = work.block;
  rd.inData = in_data;
  rd.inputWorld = input;
  rd.outputWorld = output;

  PF_Err err = PF_Err_NONE;
  try {
    work.paramsAssign(in_data, out_data, work.table, input, output, &rd);
    err = DoRender(in_data, input, &rd, out_data, output, work.table, *work.routines);
  } catch (...) {
    // The missing-suite error leaves through EffectMain, but never with parameters checked out.
    CheckInAll(in_data, work);
    throw;
  }
  const PF_Err checkin = CheckInAll(in_data, work);
  return err != PF_Err_NONE ? err : checkin;
}

}  // namespace

PF_Err RenderProcedure(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_LayerDef* output, const RenderWork& work) {
  if (!HasBlock(in_data)) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (params == nullptr || params[0] == nullptr || output == nullptr) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  return RenderWithWorlds(in_data, out_data, &params[0]->u.ld, output, work);
}

PF_Err SmartRenderProcedure(PF_InData* in_data, PF_OutData* out_data, PF_SmartRenderExtra* extra,
                            const RenderWork& work) {
  if (!HasBlock(in_data)) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  if (extra == nullptr || extra->cb == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  // Checkout id 0 is the id under which smart pre-render checked out the input layer.
  PF_EffectWorld* input = nullptr;
  if (const PF_Err err = extra->cb->checkout_layer_pixels(in_data->effect_ref, 0, &input)) {
    return err;
  }
  PF_EffectWorld* output = nullptr;
  if (const PF_Err err = extra->cb->checkout_output(in_data->effect_ref, &output)) return err;
  // A host may answer success and hand out no world; rendering would dereference it.
  if (input == nullptr || output == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
  return RenderWithWorlds(in_data, out_data, input, output, work);
}

}  // namespace tavu::framework
