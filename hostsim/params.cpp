// Parameter check-out and check-in.
#include "hostsim/host.h"
#include "hostsim/render_services.h"

namespace tavu::hostsim {

namespace {
const PF_LayerDef kNoLayer{};
}  // namespace

void ParamServer::Set(PF_ParamIndex index, const PF_ParamDef& def) {
  std::lock_guard<std::mutex> lock(mutex_);
  values_[index] = def;
}

void ParamServer::SetLayer(PF_ParamIndex index, const PF_LayerDef* world) {
  std::lock_guard<std::mutex> lock(mutex_);
  layers_[index] = world;
}

void ParamServer::set_input_layer(const PF_LayerDef* world) {
  std::lock_guard<std::mutex> lock(mutex_);
  input_layer_ = world;
}

void ParamServer::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  values_.clear();
  layers_.clear();
  input_layer_ = nullptr;
}

std::optional<PF_ParamDef> ParamServer::Resolve(const RenderContext* ctx,
                                                PF_ParamIndex index) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::optional<PF_ParamDef> def;
  if (ctx != nullptr) {
    if (auto it = ctx->params.find(index); it != ctx->params.end()) def = it->second;
  }
  if (!def) {
    if (auto it = values_.find(index); it != values_.end()) def = it->second;
  }
  if (!def && index >= 1 && static_cast<std::size_t>(index) <= host_.added_params.size()) {
    def = host_.added_params[index - 1];
  }
  if (!def || def->param_type != PF_Param_LAYER) return def;

  const PF_LayerDef* world = nullptr;
  bool chosen = false;
  if (ctx != nullptr) {
    if (auto it = ctx->layers.find(index); it != ctx->layers.end()) {
      world = it->second;
      chosen = true;
    }
  }
  if (!chosen) {
    if (auto it = layers_.find(index); it != layers_.end()) {
      world = it->second;
      chosen = true;
    }
  }
  if (!chosen && def->u.ld.dephault == PF_LayerDefault_MYSELF) {
    world = ctx != nullptr ? ctx->input : input_layer_;
  }
  def->u.ld = world != nullptr ? *world : kNoLayer;
  return def;
}

std::optional<PF_ParamDef> ParamServer::Current(PF_ParamIndex index) const {
  return Resolve(nullptr, index);
}

PF_Err ParamServer::Checkout(const RenderContext* ctx, PF_ParamIndex index, PF_ParamDef* def) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    log_.push_back(index);
  }
  if (auto f = host_.Fault("checkout_param")) return *f;
  if (def == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
  const std::optional<PF_ParamDef> value = Resolve(ctx, index);
  if (!value) return PF_Err_INVALID_INDEX;
  *def = *value;
  std::lock_guard<std::mutex> lock(mutex_);
  outstanding_[def] = index;
  ++checkouts_;
  return PF_Err_NONE;
}

PF_Err ParamServer::Checkin(PF_ParamDef* def) {
  const std::optional<PF_Err> fault = host_.Fault("checkin_param");
  std::lock_guard<std::mutex> lock(mutex_);
  ++checkins_;
  if (outstanding_.erase(def) == 0) ++stray_;
  return fault ? *fault : PF_Err_NONE;
}

int ParamServer::Outstanding() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(outstanding_.size());
}
int ParamServer::Checkouts() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return checkouts_;
}
int ParamServer::Checkins() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return checkins_;
}
int ParamServer::StrayCheckins() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return stray_;
}
std::vector<PF_ParamIndex> ParamServer::CheckoutLog() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return log_;
}
void ParamServer::ClearCounts() {
  std::lock_guard<std::mutex> lock(mutex_);
  outstanding_.clear();
  checkouts_ = checkins_ = stray_ = 0;
  log_.clear();
}

}  // namespace tavu::hostsim
