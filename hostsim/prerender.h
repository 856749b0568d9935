// The smart pre-render side of the simulated host: a PF_PreRenderExtra as the host passes it,
// and the checkout_layer callback, which records every call and answers with the rectangles a
// test scripted. Fail it with Host::FailCall("checkout_layer", ...).
#pragma once

#include <mutex>
#include <vector>

#include "platform/pf_effect.h"

namespace tavu::hostsim {

struct CheckoutLayerCall {
  PF_ProgPtr effect_ref;
  PF_ParamIndex index;
  A_long checkout_id;
  PF_RenderRequest request;  // a byte copy of what the module passed, for memcmp
  A_long what_time;
  A_long time_step;
  A_u_long time_scale;
};

class PreRenderSim {
 public:
  PreRenderSim();
  PreRenderSim(const PreRenderSim&) = delete;
  PreRenderSim& operator=(const PreRenderSim&) = delete;

  // Fills input, output and callbacks as the host passes them: the request, and the output
  // rectangles as they arrive (the rest of the output zeroed). Returns the extra record.
  PF_PreRenderExtra* Prepare(const PF_RenderRequest& request, const PF_LRect& result_rect,
                             const PF_LRect& max_result_rect);

  // What checkout_layer writes into the module's checkout result on success.
  PF_CheckoutResult answer{};
  std::vector<CheckoutLayerCall> Calls() const;

  PF_PreRenderInput input{};
  PF_PreRenderOutput output{};
  PF_PreRenderCallbacks callbacks{};
  PF_PreRenderExtra extra{};

 private:
  static PF_Err CheckoutLayer(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long checkout_id,
                              const PF_RenderRequest* req, A_long what_time, A_long time_step,
                              A_u_long time_scale, PF_CheckoutResult* result);
  mutable std::mutex mutex_;
  std::vector<CheckoutLayerCall> calls_;
};

}  // namespace tavu::hostsim
