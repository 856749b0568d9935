#include "framework/pixel_access.h"

#include <cstdint>

#include "host/suite_handler.h"

namespace tavu {
namespace {

// Which sampling suite and function serve a depth. The host interpolates channel by channel, so
// a BGRA destination goes through the ARGB-typed function of its depth unchanged.
template <class Channel>
struct Sampling;
template <>
struct Sampling<A_u_char> {
  static void Call(const AEGP_SuiteHandler& s, PF_ProgPtr ref, PF_Fixed x, PF_Fixed y,
                   const PF_SampPB* pb, PF_Pixel* dst) {
    s.Sampling8Suite1()->subpixel_sample(ref, x, y, pb, dst);
  }
};
template <>
struct Sampling<A_u_short> {
  static void Call(const AEGP_SuiteHandler& s, PF_ProgPtr ref, PF_Fixed x, PF_Fixed y,
                   const PF_SampPB* pb, PF_Pixel16* dst) {
    s.Sampling16Suite1()->subpixel_sample16(ref, x, y, pb, dst);
  }
};
template <>
struct Sampling<PF_FpShort> {
  static void Call(const AEGP_SuiteHandler& s, PF_ProgPtr ref, PF_Fixed x, PF_Fixed y,
                   const PF_SampPB* pb, PF_PixelFloat* dst) {
    s.SamplingFloatSuite1()->subpixel_sample_float(ref, x, y, pb, dst);
  }
};

template <class Layout>
void Sample(const RenderData* context, PF_LayerDef* world, float x, float y, PF_PixelFloat* out) {
  // A fresh holder per call: the sampler caches no suite, and the holder releases what it
  // acquired also when the acquisition throws.
  AEGP_SuiteHandler suites(context->inData->pica_basicP);
  PF_SampPB pb{};
  pb.src = world;
  const PF_Fixed fx = ToFixed(x);
  const PF_Fixed fy = ToFixed(y);
  typename Layout::Pixel dst{};
  using ArgbPixel = typename detail::PixelOf<typename Layout::Channel, ChannelOrder::ARGB>::type;
  Sampling<typename Layout::Channel>::Call(suites, context->inData->effect_ref, fx, fy, &pb,
                                           reinterpret_cast<ArgbPixel*>(&dst));
  *out = Layout::ToWorking(dst);
}

}  // namespace

PF_Fixed ToFixed(float coordinate) {
  const float product = coordinate * 65536.0f;
  // Halves away from zero: the half is added in double precision, where the sum is exact.
  const double rounded = static_cast<double>(product) + (coordinate >= 0.0f ? 0.5 : -0.5);
  if (rounded != rounded) return 0;
  if (rounded >= 2147483648.0) return INT32_MAX;
  if (rounded <= -2147483649.0) return INT32_MIN;
  return static_cast<PF_Fixed>(rounded);
}

void SamplePixelFloat(const RenderData* c, PF_LayerDef* w, float x, float y, PF_PixelFloat* o) {
  Sample<LayoutArgbFloat>(c, w, x, y, o);
}
void SamplePixelFloat_BGRA(const RenderData* c, PF_LayerDef* w, float x, float y,
                           PF_PixelFloat* o) {
  Sample<LayoutBgraFloat>(c, w, x, y, o);
}
void SamplePixel16(const RenderData* c, PF_LayerDef* w, float x, float y, PF_PixelFloat* o) {
  Sample<LayoutArgb16>(c, w, x, y, o);
}
void SamplePixel8(const RenderData* c, PF_LayerDef* w, float x, float y, PF_PixelFloat* o) {
  Sample<LayoutArgb8>(c, w, x, y, o);
}
void SamplePixel8_BGRA(const RenderData* c, PF_LayerDef* w, float x, float y, PF_PixelFloat* o) {
  Sample<LayoutBgra8>(c, w, x, y, o);
}

void Pixel8ToFloat(const PF_Pixel* s, PF_PixelFloat* d) { *d = LayoutArgb8::ToWorking(*s); }
void Pixel8BGRAToFloat(const PixelBGRA8* s, PF_PixelFloat* d) { *d = LayoutBgra8::ToWorking(*s); }
void Pixel16ToFloat(const PF_Pixel16* s, PF_PixelFloat* d) { *d = LayoutArgb16::ToWorking(*s); }
void PixelFloatCopy(const PF_PixelFloat* s, PF_PixelFloat* d) { *d = *s; }
void PixelFloatBGRAToFloat(const PixelBGRAFloat* s, PF_PixelFloat* d) {
  *d = LayoutBgraFloat::ToWorking(*s);
}
void FloatToPixel8(const PF_PixelFloat* s, PF_Pixel* d) { LayoutArgb8::StoreWrapped(*s, d); }
void FloatToPixel8BGRA(const PF_PixelFloat* s, PixelBGRA8* d) { LayoutBgra8::StoreWrapped(*s, d); }
void FloatToPixel16(const PF_PixelFloat* s, PF_Pixel16* d) { LayoutArgb16::StoreWrapped(*s, d); }
void FloatToPixelFloatBGRA(const PF_PixelFloat* s, PixelBGRAFloat* d) {
  LayoutBgraFloat::StoreWrapped(*s, d);
}

}  // namespace tavu
