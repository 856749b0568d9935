// The smart-render callbacks, and the RenderServices that ties the render callbacks to the host.
#include "hostsim/host.h"
#include "hostsim/render_services.h"

namespace tavu::hostsim {

struct SmartImpl {
  static PF_Err CheckoutLayerPixels(PF_ProgPtr ref, A_long, PF_EffectWorld** pixels) {
    Host& host = Host::Current();
    SmartRenderCallbacks& self = host.render().smart;
    if (auto f = host.Fault("checkout_layer_pixels")) return *f;
    if (pixels == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const RenderContext* ctx = host.render().Find(ref);
    *pixels = ctx != nullptr ? const_cast<PF_LayerDef*>(ctx->input) : self.input_;
    self.layer_checkouts_.fetch_add(1);
    return PF_Err_NONE;
  }
  static PF_Err CheckinLayerPixels(PF_ProgPtr, A_long) {
    Host& host = Host::Current();
    if (auto f = host.Fault("checkin_layer_pixels")) return *f;
    host.render().smart.layer_checkins_.fetch_add(1);
    return PF_Err_NONE;
  }
  static PF_Err CheckoutOutput(PF_ProgPtr ref, PF_EffectWorld** output) {
    Host& host = Host::Current();
    SmartRenderCallbacks& self = host.render().smart;
    if (auto f = host.Fault("checkout_output")) return *f;
    if (output == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    const RenderContext* ctx = host.render().Find(ref);
    *output = ctx != nullptr ? ctx->output : self.output_;
    self.output_checkouts_.fetch_add(1);
    return PF_Err_NONE;
  }
};

SmartRenderCallbacks::SmartRenderCallbacks() {
  table.checkout_layer_pixels = SmartImpl::CheckoutLayerPixels;
  table.checkin_layer_pixels = SmartImpl::CheckinLayerPixels;
  table.checkout_output = SmartImpl::CheckoutOutput;
}

namespace {
PF_Err CbCheckoutParam(PF_ProgPtr ref, PF_ParamIndex index, A_long, A_long, A_u_long,
                       PF_ParamDef* def) {
  RenderServices& services = Host::Current().render();
  return services.params.Checkout(services.Find(ref), index, def);
}
PF_Err CbCheckinParam(PF_ProgPtr, PF_ParamDef* def) {
  return Host::Current().render().params.Checkin(def);
}
}  // namespace

RenderServices::RenderServices(Host& host) : params(host) {
  host.AddSuite(kPFIterate8Suite, kPFIterateSuiteVersion, &iterate.suite8);
  host.AddSuite(kPFIterate16Suite, kPFIterateSuiteVersion, &iterate.suite16);
  host.AddSuite(kPFIterateFloatSuite, kPFIterateSuiteVersion, &iterate.suiteFloat);
  host.AddSuite(kPFSampling8Suite, kPFSamplingSuiteVersion, &sampling.suite8);
  host.AddSuite(kPFSampling16Suite, kPFSamplingSuiteVersion, &sampling.suite16);
  host.AddSuite(kPFSamplingFloatSuite, kPFSamplingSuiteVersion, &sampling.suiteFloat);
  host.in_data.inter.checkout_param = CbCheckoutParam;
  host.in_data.inter.checkin_param = CbCheckinParam;
}

void RenderServices::Register(const RenderContext* ctx) {
  std::lock_guard<std::mutex> lock(mutex_);
  contexts_.insert(ctx);
}

void RenderServices::Unregister(const RenderContext* ctx) {
  std::lock_guard<std::mutex> lock(mutex_);
  contexts_.erase(ctx);
}

const RenderContext* RenderServices::Find(PF_ProgPtr effect_ref) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return contexts_.count(effect_ref) != 0 ? static_cast<const RenderContext*>(effect_ref) : nullptr;
}

}  // namespace tavu::hostsim
