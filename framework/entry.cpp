// The module's two exports: its self-description and the one command entry.
#include "framework/effect_interface.h"
#include "framework/export.h"
#include "framework/handlers.h"
#include "framework/identity.h"

namespace tavu::framework {
namespace {

using Handler = PF_Err (*)(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

PF_Err OnAbout(PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output, void*) {
  return About(in, out, params, output);
}
PF_Err OnGlobalSetup(PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
                     void*) {
  return GlobalSetup(in, out, params, output);
}
PF_Err OnGlobalSetdown(PF_InData* in, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  return GlobalSetdown(in);
}
PF_Err OnParamsSetup(PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
                     void*) {
  return effect::ParamsSetup(in, out, params, output);
}
PF_Err OnSequenceSetup(PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                       PF_LayerDef* output, void*) {
  return SequenceSetup(in, out, params, output);
}
PF_Err OnSequenceResetup(PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                         PF_LayerDef* output, void*) {
  return SequenceResetup(in, out, params, output);
}
PF_Err OnSequenceSetdown(PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                         PF_LayerDef* output, void*) {
  return SequenceSetdown(in, out, params, output);
}
PF_Err OnRender(PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output, void*) {
  return effect::Render(in, out, params, output);
}
PF_Err OnSmartPreRender(PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*,
                        void* extra) {
  return SmartPreRender(in, out, static_cast<PF_PreRenderExtra*>(extra));
}
PF_Err OnSmartRender(PF_InData* in, PF_OutData* out, PF_ParamDef*[], PF_LayerDef*, void* extra) {
  return effect::SmartRender(in, out, static_cast<PF_SmartRenderExtra*>(extra));
}

// Indexed by command number; commands the module does not answer have no handler.
constexpr Handler kDispatch[PF_Cmd_NUM_CMDS] = {
    /* 0 ABOUT */ OnAbout,
    /* 1 GLOBAL_SETUP */ OnGlobalSetup,
    /* 2 */ nullptr,
    /* 3 GLOBAL_SETDOWN */ OnGlobalSetdown,
    /* 4 PARAMS_SETUP */ OnParamsSetup,
    /* 5 SEQUENCE_SETUP */ OnSequenceSetup,
    /* 6 SEQUENCE_RESETUP */ OnSequenceResetup,
    /* 7 SEQUENCE_FLATTEN: the block is flat, nothing to do */ nullptr,
    /* 8 SEQUENCE_SETDOWN */ OnSequenceSetdown,
    /* 9 */ nullptr,
    /* 10 FRAME_SETUP */ nullptr,
    /* 11 RENDER */ OnRender,
    /* 12..22 */ nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
    nullptr, nullptr,
    /* 23 SMART_PRE_RENDER */ OnSmartPreRender,
    /* 24 SMART_RENDER */ OnSmartRender,
};

}  // namespace
}  // namespace tavu::framework

extern "C" {

TAVU_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inCallback) {
  const tavu::EffectIdentity& id = tavu::effect::kIdentity;
  return inCallback(inPtr, reinterpret_cast<const A_u_char*>(id.displayName),
                    reinterpret_cast<const A_u_char*>(id.matchName),
                    reinterpret_cast<const A_u_char*>(tavu::kCategoryName),
                    reinterpret_cast<const A_u_char*>(tavu::kEntryPointName),
                    PF_PLUGIN_KIND_EFFECT, tavu::kEffectApiMajor, tavu::kEffectApiMinor,
                    tavu::kReservedInfo);
}

TAVU_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                              PF_ParamDef* params[], PF_LayerDef* output, void* extra) {
  // One unsigned comparison rejects negative numbers and numbers past the table alike.
  if (static_cast<A_u_long>(cmd) > static_cast<A_u_long>(PF_Cmd_SMART_RENDER)) return PF_Err_NONE;
  const tavu::framework::Handler handler = tavu::framework::kDispatch[cmd];
  if (handler == nullptr) return PF_Err_NONE;
  // Nothing may escape into the host: the suite holder's missing-suite integer becomes the
  // command's result, anything else an internal error.
  try {
    return handler(in_data, out_data, params, output, extra);
  } catch (int err) {
    return err;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

}  // extern "C"
