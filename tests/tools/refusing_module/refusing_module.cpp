// A module that refuses one command on request, so that tavu-render's handling of a module's
// error code can be seen from outside: the environment variable TAVU_REFUSE names the command
// number to refuse (-1: PluginDataEntryFunction), optionally followed by ':' and the message to
// leave. A refusal returns kRefusal and leaves that message, or "refused on request", for the
// user. TAVU_REFUSE=names makes PluginDataEntryFunction register with null names instead, and
// TAVU_REFUSE=full-name declares one checkbox whose name fills its field with no NUL. Every other
// command succeeds and does nothing; the render leaves the output as the host gave it.
#include <cstdlib>
#include <cstring>

#include "framework/export.h"
#include "platform/pf_effect.h"

namespace {

constexpr PF_Err kRefusal = 42;

const char* Request() {
  const char* refuse = std::getenv("TAVU_REFUSE");
  return refuse != nullptr ? refuse : "";
}

// The message after the command number, or nullptr when the request gives none.
const char* Refuses(long command) {
  const char* request = Request();
  char* end = nullptr;
  const long refused = std::strtol(request, &end, 10);
  if (end == request || refused != command) return nullptr;
  return *end == ':' ? end + 1 : "refused on request";
}

const A_u_char* Text(const char* s) { return reinterpret_cast<const A_u_char*>(s); }

}  // namespace

extern "C" {

TAVU_EXPORT PF_Err PluginDataEntryFunction(PF_PluginDataPtr ptr, PF_PluginDataCB cb) {
  if (Refuses(-1)) return kRefusal;
  if (std::strcmp(Request(), "names") == 0) {
    return cb(ptr, nullptr, nullptr, nullptr, nullptr, PF_PLUGIN_KIND_EFFECT, 13, 27, 8);
  }
  return cb(ptr, Text("Refusing"), Text("TAVU Refusing"), Text("tavu tests"), Text("EffectMain"),
            PF_PLUGIN_KIND_EFFECT, 13, 27, 8);
}

TAVU_EXPORT PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                              PF_ParamDef*[], PF_LayerDef*, void*) {
  if (cmd == PF_Cmd_PARAMS_SETUP && std::strcmp(Request(), "full-name") == 0) {
    PF_ParamDef def{};
    def.param_type = PF_Param_CHECKBOX;
    std::memset(def.name, 'N', sizeof def.name);
    def.flags = 0x5A5A5A5A;  // "ZZZZ", where a reader that runs on past the name would go
    def.uu.id = 1;
    out_data->num_params = 2;
    return in_data->inter.add_param(in_data->effect_ref, -1, &def);
  }
  if (cmd == PF_Cmd_GLOBAL_SETUP) {
    out_data->out_flags = PF_OutFlag_DEEP_COLOR_AWARE;
    out_data->out_flags2 = PF_OutFlag2_FLOAT_COLOR_AWARE | PF_OutFlag2_SUPPORTS_SMART_RENDER;
  }
  const char* message = Refuses(cmd);
  if (message == nullptr) return PF_Err_NONE;
  std::strncpy(out_data->return_msg, message, sizeof out_data->return_msg - 1);
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  return kRefusal;
}

}  // extern "C"
