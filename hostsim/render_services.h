// What the simulated host serves for rendering: the iterate suites (rows on several threads at
// once), the sampling suites (bilinear), parameter check-out and check-in with the values of each
// render, and the smart-render callbacks. One RenderServices belongs to each Host and is reached
// through Host::render(); every callback can be made to fail through Host::FailCall with the
// callback's name.
//
// A render that the Session runs gets its own effect_ref, pointing to its RenderContext, as a
// real host gives each render its own: the callbacks serve that render's worlds and parameter
// values. Calls with any other effect_ref (the Host's own in_data) get the host-wide values.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

#include "platform/pf_suites.h"

namespace tavu::hostsim {

class Host;

// One render's worlds and parameter values.
struct RenderContext {
  // The layer the effect is applied to: served by checkout_layer_pixels and by layer parameters
  // whose default is the effect's own layer.
  const PF_LayerDef* input = nullptr;
  // Served by checkout_output.
  PF_LayerDef* output = nullptr;
  // Values for this render only, by parameter index.
  std::map<PF_ParamIndex, PF_ParamDef> params;
  // Worlds for layer parameters, by index; nullptr: the parameter names no layer.
  std::map<PF_ParamIndex, const PF_LayerDef*> layers;
};

// "PF Iterate8 Suite", "PF iterate16 Suite", "PF iterateFloat Suite", version 1. iterate_origin
// calls the pixel function for every pixel of the area (clipped to the destination), pixel
// (x, y) of the destination with pixel (x + origin.h, y + origin.v) of the source; rows are
// shared among the threads, several at once. The first error a pixel function returns ends the
// iteration (rows already started finish) and is the result. Fault name: "iterate_origin".
class IterateSuites {
 public:
  IterateSuites();
  // Rows run on this many threads at once; 1 runs them in order on the caller's thread.
  void set_threads(int threads);
  int threads() const { return threads_.load(); }

  struct Call {
    int bits;  // 8, 16 or 32: which suite
    A_long progressBase, progressFinal;
    PF_Rect area;
    PF_Point origin;
    const PF_EffectWorld* src;
    const PF_EffectWorld* dst;
    void* refcon;
  };
  std::vector<Call> Calls() const;
  void ClearCalls();
  // Pixel-function calls, over all iterations.
  long PixelCalls() const { return pixel_calls_.load(); }

  PF_Iterate8Suite suite8{};
  PF_Iterate16Suite suite16{};
  PF_IterateFloatSuite suiteFloat{};

 private:
  friend struct IterateImpl;
  std::atomic<int> threads_;
  std::atomic<long> pixel_calls_{0};
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// "PF Sampling8 Suite", "PF Sampling16 Suite", "PF SamplingFloat Suite", version 1:
// subpixel_sample, subpixel_sample16 and subpixel_sample_float interpolate bilinearly between
// the four pixels around the position, channel by channel in memory order; integer coordinates
// are pixel centres and neighbours outside the world count as zero. Fault names: the function
// names.
class SamplingSuites {
 public:
  SamplingSuites();
  struct Call {
    int bits;
    PF_Fixed x, y;
    const PF_EffectWorld* src;
  };
  std::vector<Call> Calls() const;
  void ClearCalls();

  PF_Sampling8Suite suite8{};
  PF_Sampling16Suite suite16{};
  PF_SamplingFloatSuite suiteFloat{};

 private:
  friend struct SamplingImpl;
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

// checkout_param and checkin_param of the interaction callbacks. A parameter's value is, first
// found: the render's own value, the value set here, the definition the module added in
// PF_Cmd_PARAMS_SETUP. A layer parameter serves a world: the render's, the one set here, else by
// its default the effect's own layer or no layer (size 0, no data). Every check-out is counted
// until its check-in; a check-in counts as one whatever code a fault injects. Fault names:
// "checkout_param", "checkin_param".
class ParamServer {
 public:
  void Set(PF_ParamIndex index, const PF_ParamDef& def);
  void SetLayer(PF_ParamIndex index, const PF_LayerDef* world);
  // The effect's own layer for calls outside a Session render.
  void set_input_layer(const PF_LayerDef* world);
  void Clear();

  // The definition a check-out would serve now for `index`, outside any render; nullopt for an
  // index the module never declared.
  std::optional<PF_ParamDef> Current(PF_ParamIndex index) const;

  int Outstanding() const;
  int Checkouts() const;
  int Checkins() const;
  // Check-ins of a record that was not checked out (a failed check-out, or a second check-in).
  int StrayCheckins() const;
  // Indices asked for, in call order, failed ones included.
  std::vector<PF_ParamIndex> CheckoutLog() const;
  void ClearCounts();

  // Callback bodies.
  PF_Err Checkout(const RenderContext* ctx, PF_ParamIndex index, PF_ParamDef* def);
  PF_Err Checkin(PF_ParamDef* def);
  // The value as a check-out serves it, without counting; for the host's own params array.
  std::optional<PF_ParamDef> Resolve(const RenderContext* ctx, PF_ParamIndex index) const;

 private:
  explicit ParamServer(Host& host) : host_(host) {}
  friend class RenderServices;
  Host& host_;
  mutable std::mutex mutex_;
  std::map<PF_ParamIndex, PF_ParamDef> values_;
  std::map<PF_ParamIndex, const PF_LayerDef*> layers_;
  const PF_LayerDef* input_layer_ = nullptr;
  std::map<const PF_ParamDef*, PF_ParamIndex> outstanding_;
  int checkouts_ = 0, checkins_ = 0, stray_ = 0;
  std::vector<PF_ParamIndex> log_;
};

// checkout_layer_pixels, checkin_layer_pixels and checkout_output of PF_SmartRenderCallbacks.
// Fault names: the callback names.
class SmartRenderCallbacks {
 public:
  SmartRenderCallbacks();
  // Served for calls outside a Session render.
  void set_input(PF_LayerDef* world) { input_ = world; }
  void set_output(PF_LayerDef* world) { output_ = world; }

  int LayerCheckouts() const { return layer_checkouts_.load(); }
  int LayerCheckins() const { return layer_checkins_.load(); }
  int OutputCheckouts() const { return output_checkouts_.load(); }

  PF_SmartRenderCallbacks table{};

 private:
  friend struct SmartImpl;
  PF_LayerDef* input_ = nullptr;
  PF_LayerDef* output_ = nullptr;
  std::atomic<int> layer_checkouts_{0}, layer_checkins_{0}, output_checkouts_{0};
};

class RenderServices {
 public:
  // Registers the suites with the host and sets its in_data's check-out callbacks.
  explicit RenderServices(Host& host);
  RenderServices(const RenderServices&) = delete;
  RenderServices& operator=(const RenderServices&) = delete;

  IterateSuites iterate;
  SamplingSuites sampling;
  ParamServer params;
  SmartRenderCallbacks smart;

  void Register(const RenderContext* ctx);
  void Unregister(const RenderContext* ctx);
  // The render context behind an effect_ref, or null when it is not one.
  const RenderContext* Find(PF_ProgPtr effect_ref) const;

 private:
  mutable std::mutex mutex_;
  std::set<const void*> contexts_;
};

}  // namespace tavu::hostsim
