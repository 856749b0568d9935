// Drives one effect instance through the simulated host the way the host application does:
// set-up commands when the effect is applied, then any number of renders, possibly overlapping
// on several threads, then set-down. Used by the tests, the benchmarks and tavu-render alike.
#pragma once

#include <functional>
#include <map>

#include "hostsim/host.h"
#include "hostsim/render_services.h"
#include "hostsim/world.h"

namespace tavu::hostsim {

class Module;

using EntryPoint = std::function<PF_Err(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                        PF_ParamDef* params[], PF_LayerDef* output, void* extra)>;

struct RenderRequest {
  RenderRequest() = default;
  RenderRequest(World* in, World* out, bool smartRender = false)
      : input(in), output(out), smart(smartRender) {}

  World* input = nullptr;   // the layer the effect is applied to
  World* output = nullptr;  // its format is what the host reports for the output
  // PF_Cmd_SMART_RENDER (the input and output through the smart-render callbacks) instead of
  // PF_Cmd_RENDER (the input as parameter 0, the output as EffectMain's argument).
  bool smart = false;
  A_long time = 0;
  A_long originX = 0, originY = 0;  // in_data's output_origin_x and _y
  // Values for this render only, by parameter index; others keep their current values.
  std::map<PF_ParamIndex, PF_ParamDef> params;
  // Worlds for layer parameters; nullptr: the parameter names no layer. Others serve the default.
  std::map<PF_ParamIndex, const PF_LayerDef*> layers;
};

class Session {
 public:
  Session(Host& host, EntryPoint effectMain);
  Session(Host& host, const Module& module);

  // PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP and PF_Cmd_SEQUENCE_SETUP in that order; the first
  // error ends it, and `failed` (when given) names the command that returned it. The parameters
  // the module adds become the values renders are served.
  PF_Err Setup(PF_Cmd* failed = nullptr);
  // PF_Cmd_SEQUENCE_SETDOWN and PF_Cmd_GLOBAL_SETDOWN; both are sent whatever the first returns.
  // The first error is the result, `failed` names its command and `answer` receives what the
  // module left in out_data with it (its message among it), which the next command would reset.
  PF_Err Setdown(PF_Cmd* failed = nullptr, PF_OutData* answer = nullptr);

  // One command with no parameters, output or extra record (PF_Cmd_ABOUT, for one), with the
  // instance's own in_data; the module's answer stays in host().out_data.
  PF_Err Send(PF_Cmd cmd);

  // What the module answered to PF_Cmd_GLOBAL_SETUP in the last Setup: its version and flag
  // words, which a host reads before deciding how to render.
  const PF_OutData& global_setup_answer() const { return global_answer_; }

  // The instance's sequence data as set-up left it; a test may hand it one of its own.
  PF_Handle sequence_data() const { return host_.in_data.sequence_data; }
  void set_sequence_data(PF_Handle handle) { host_.in_data.sequence_data = handle; }
  A_long num_params() const { return host_.in_data.num_params; }

  // The definition parameter `index` is served with now, to change and pass in a request.
  PF_ParamDef Param(PF_ParamIndex index) const;

  // One render command. Safe to call from several threads at once: each render has its own
  // in_data, effect_ref and parameter values, and all renders share the instance's sequence data
  // (as Premiere Pro does when told not to clone it). `answer`, when given, receives the module's
  // out_data for this render (a message it left with an error, for one).
  PF_Err Render(const RenderRequest& request, PF_OutData* answer = nullptr) const;

  // PF_Cmd_SMART_PRE_RENDER ahead of a smart render of the same request: the same in_data and
  // effect_ref the render gets, with the extra record the caller prepared through
  // host().prerender.Prepare (whose `answer` is what checkout_layer hands back). Not for
  // concurrent use: the extra record and the answer are the host's one copy. `answer` as for
  // Render.
  PF_Err PreRender(const RenderRequest& request, PF_PreRenderExtra* extra,
                   PF_OutData* answer = nullptr) const;

  Host& host() const { return host_; }

 private:
  // Runs `command` with the in_data of one render of `request`, its context registered so that
  // callbacks given its effect_ref serve the request's worlds and values, and a zeroed out_data
  // that `answer` (when given) receives afterwards.
  PF_Err WithRenderInData(
      const RenderRequest& request, PF_OutData* answer,
      const std::function<PF_Err(PF_InData*, PF_OutData*, RenderContext*)>& command) const;

  Host& host_;
  EntryPoint main_;
  PF_OutData global_answer_{};
};

}  // namespace tavu::hostsim
