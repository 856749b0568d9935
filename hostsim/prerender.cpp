#include "hostsim/prerender.h"

#include "hostsim/host.h"

namespace tavu::hostsim {

PreRenderSim::PreRenderSim() {
  callbacks.checkout_layer = CheckoutLayer;
  extra.input = &input;
  extra.output = &output;
  extra.cb = &callbacks;
}

PF_PreRenderExtra* PreRenderSim::Prepare(const PF_RenderRequest& request,
                                         const PF_LRect& result_rect,
                                         const PF_LRect& max_result_rect) {
  input = PF_PreRenderInput{};
  input.output_request = request;
  input.bitdepth = 8;
  output = PF_PreRenderOutput{};
  output.result_rect = result_rect;
  output.max_result_rect = max_result_rect;
  extra.input = &input;
  extra.output = &output;
  extra.cb = &callbacks;
  return &extra;
}

std::vector<CheckoutLayerCall> PreRenderSim::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

PF_Err PreRenderSim::CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                                   const PF_RenderRequest* req, A_long what_time,
                                   A_long time_step, A_u_long time_scale,
                                   PF_CheckoutResult* result) {
  Host& h = Host::Current();
  PreRenderSim& sim = h.prerender;
  {
    std::lock_guard<std::mutex> lock(sim.mutex_);
    sim.calls_.push_back(
        {effect_ref, index, checkout_id, *req, what_time, time_step, time_scale});
  }
  if (auto f = h.Fault("checkout_layer")) return *f;
  *result = sim.answer;
  return PF_Err_NONE;
}

}  // namespace tavu::hostsim
