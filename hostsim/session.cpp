#include "hostsim/session.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

#include "hostsim/module.h"

namespace tavu::hostsim {

Session::Session(Host& host, EntryPoint effectMain) : host_(host), main_(std::move(effectMain)) {}

Session::Session(Host& host, const Module& module)
    : Session(host, [&module](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                              PF_LayerDef* output, void* extra) {
        return module.EffectMain(cmd, in, out, params, output, extra);
      }) {}

PF_Err Session::Send(PF_Cmd cmd) {
  host_.ResetOutData();
  host_.out_data.global_data = host_.in_data.global_data;
  host_.out_data.sequence_data = host_.in_data.sequence_data;
  host_.out_data.num_params = host_.in_data.num_params;
  const PF_Err err = main_(cmd, &host_.in_data, &host_.out_data, nullptr, nullptr, nullptr);
  // The host keeps what the module hands back, for every later command.
  host_.in_data.global_data = host_.out_data.global_data;
  host_.in_data.sequence_data = host_.out_data.sequence_data;
  host_.in_data.num_params = host_.out_data.num_params;
  return err;
}

PF_Err Session::Setup(PF_Cmd* failed) {
  host_.in_data.num_params = 1;
  global_answer_ = PF_OutData{};
  for (PF_Cmd cmd : {PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_SEQUENCE_SETUP}) {
    const PF_Err err = Send(cmd);
    if (cmd == PF_Cmd_GLOBAL_SETUP) global_answer_ = host_.out_data;
    if (err != PF_Err_NONE) {
      if (failed != nullptr) *failed = cmd;
      return err;
    }
  }
  return PF_Err_NONE;
}

PF_Err Session::Setdown(PF_Cmd* failed, PF_OutData* answer) {
  const PF_Err sequence = Send(PF_Cmd_SEQUENCE_SETDOWN);
  const PF_OutData sequenceAnswer = host_.out_data;
  const PF_Err global = Send(PF_Cmd_GLOBAL_SETDOWN);
  if (sequence != PF_Err_NONE || global != PF_Err_NONE) {
    if (failed != nullptr) {
      *failed = sequence != PF_Err_NONE ? PF_Cmd_SEQUENCE_SETDOWN : PF_Cmd_GLOBAL_SETDOWN;
    }
    if (answer != nullptr) *answer = sequence != PF_Err_NONE ? sequenceAnswer : host_.out_data;
  }
  return sequence != PF_Err_NONE ? sequence : global;
}

PF_ParamDef Session::Param(PF_ParamIndex index) const {
  const auto def = host_.render().params.Current(index);
  if (!def) throw std::out_of_range("Session::Param: the module declared no such parameter");
  return *def;
}

PF_Err Session::WithRenderInData(
    const RenderRequest& request, PF_OutData* answer,
    const std::function<PF_Err(PF_InData*, PF_OutData*, RenderContext*)>& command) const {
  if (request.input == nullptr || request.output == nullptr) {
    throw std::invalid_argument("Session::Render needs an input and an output world");
  }
  RenderContext ctx;
  ctx.input = request.input->def();
  ctx.output = request.output->def();
  ctx.params = request.params;
  ctx.layers = request.layers;
  RenderServices& services = host_.render();
  services.Register(&ctx);
  struct Unregister {
    RenderServices& s;
    const RenderContext* c;
    ~Unregister() { s.Unregister(c); }
  } unregister{services, &ctx};

  host_.SetWorldFormat(request.output->def(), request.output->format());

  PF_InData in = host_.in_data;
  in.effect_ref = &ctx;
  in.current_time = request.time;
  in.output_origin_x = request.originX;
  in.output_origin_y = request.originY;
  in.width = request.input->width();
  in.height = request.input->height();
  in.extent_hint = PF_Rect{0, 0, request.output->width(), request.output->height()};
  PF_OutData out{};
  const PF_Err err = command(&in, &out, &ctx);
  if (answer != nullptr) *answer = out;
  return err;
}

PF_Err Session::PreRender(const RenderRequest& request, PF_PreRenderExtra* extra,
                          PF_OutData* answer) const {
  return WithRenderInData(request, answer, [&](PF_InData* in, PF_OutData* out, RenderContext*) {
    return main_(PF_Cmd_SMART_PRE_RENDER, in, out, nullptr, nullptr, extra);
  });
}

PF_Err Session::Render(const RenderRequest& request, PF_OutData* answer) const {
  return WithRenderInData(request, answer, [&](PF_InData* in, PF_OutData* out,
                                                RenderContext* ctx) {
    RenderServices& services = host_.render();
    if (request.smart) {
      PF_SmartRenderInput input{};
      input.output_request.rect = PF_LRect{0, 0, request.output->width(), request.output->height()};
      input.bitdepth = static_cast<A_short>(
          IsFloat(request.output->layout()) ? 32 : 8 * ChannelSize(request.output->layout()));
      PF_SmartRenderExtra extra{&input, &services.smart.table};
      return main_(PF_Cmd_SMART_RENDER, in, out, nullptr, nullptr, &extra);
    }

    // The host's params array: the input layer, then every parameter's current value.
    const A_long count = std::max<A_long>(in->num_params, 1);
    std::vector<PF_ParamDef> defs(static_cast<std::size_t>(count));
    std::vector<PF_ParamDef*> params(static_cast<std::size_t>(count));
    defs[0].param_type = PF_Param_LAYER;
    defs[0].u.ld = *request.input->def();
    for (A_long i = 0; i < count; ++i) {
      if (i > 0) {
        if (auto def = services.params.Resolve(ctx, i)) defs[i] = *def;
      }
      params[i] = &defs[i];
    }
    return main_(PF_Cmd_RENDER, in, out, params.data(), request.output->def(), nullptr);
  });
}

}  // namespace tavu::hostsim
