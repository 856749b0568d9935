// The simulated host's render services measure the framework, so their own behaviour is pinned
// here: world layout in memory, rows visited by the threaded iteration, parameter serving.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>

#include "hostsim/host.h"
#include "hostsim/render_services.h"
#include "hostsim/world.h"

using namespace tavu::hostsim;

namespace {

TEST(HostSimWorlds, RowsPaddingAndBottomUpStorage) {
  WorldOptions opts;
  opts.rowPadding = 6;
  opts.bottomUp = true;
  World w(Layout::Argb16, 5, 4, opts);
  EXPECT_EQ(w.def()->rowbytes, -(5 * 8 + 6));
  EXPECT_EQ(w.PixelAddress(0, 1), w.PixelAddress(0, 0) - 46);
  EXPECT_EQ(w.def()->data, w.PixelAddress(0, 0));
  w.Set(4, 3, {32768, 1, 2, 65535});
  EXPECT_EQ(w.Get(4, 3), (Channels{32768, 1, 2, 65535}));
  EXPECT_TRUE(w.OutsideIntact());
  w.PixelAddress(4, 3)[8] = 0;  // one byte past the row's last pixel
  EXPECT_FALSE(w.OutsideIntact());

  World bgra(Layout::Bgra8, 1, 1);
  bgra.Set(0, 0, {1, 2, 3, 4});  // alpha, red, green, blue
  EXPECT_EQ(bgra.PixelAddress(0, 0)[0], 4) << "blue first in memory";
  EXPECT_EQ(bgra.PixelAddress(0, 0)[3], 1);

  World none = World::NoPixels();
  EXPECT_EQ(none.def()->data, nullptr);
  EXPECT_EQ(none.width() + none.height() + none.def()->rowbytes, 0);
}

struct Visit {
  static PF_Err Row(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    auto* v = static_cast<Visit*>(refcon);
    std::lock_guard<std::mutex> lock(v->mutex);
    v->rows.insert(y);
    ++v->calls;
    if (x != 0 || in->red != int64_t{y} + 3 || in->green != 2) v->wrongPointer = true;
    out->alpha = 1;
    return y == v->failAt ? 99 : PF_Err_NONE;
  }
  std::mutex mutex;
  std::set<A_long> rows;
  int calls = 0;
  bool wrongPointer = false;
  A_long failAt = -1;
};

TEST(HostSimIterate, EveryRowOnceFromTheShiftedSourceOnManyThreads) {
  Host host;
  host.render().iterate.set_threads(8);
  World src(Layout::Argb8, 4, 103), dst(Layout::Argb8, 2, 100);
  src.Fill([](A_long x, A_long y) { return Channels{0, double(y), double(x), 0}; });
  const PF_Rect area{0, 0, 1, 100};
  const PF_Point origin{2, 3};
  Visit v;
  const PF_Iterate8Suite& suite = host.render().iterate.suite8;
  EXPECT_EQ(suite.iterate_origin(&host.in_data, 0, 100, src.def(), &area, &origin, &v, Visit::Row,
                                 dst.def()),
            PF_Err_NONE);
  EXPECT_EQ(v.calls, 100);
  EXPECT_EQ(v.rows.size(), 100u);
  EXPECT_FALSE(v.wrongPointer);

  Visit failing;
  failing.failAt = 40;
  EXPECT_EQ(suite.iterate_origin(&host.in_data, 0, 100, src.def(), &area, &origin, &failing,
                                 Visit::Row, dst.def()),
            99);
  EXPECT_LT(failing.calls, 100);

  // A source that does not hold the shifted area is refused, not read past.
  const PF_Point tooFar{3, 4};
  Visit refused;
  EXPECT_EQ(suite.iterate_origin(&host.in_data, 0, 100, src.def(), &area, &tooFar, &refused,
                                 Visit::Row, dst.def()),
            PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(refused.calls, 0);

  // The last rows a world can have, taken by two threads: no row outside the area is handed out.
  // A row stride of 0 lays every row on the same pixels, so no tall world is allocated. The first
  // row a wrapped counter would hand out ends the call, which would otherwise run on for 2^32.
  PF_EffectWorld tallSrc = *src.def(), tallDst = *dst.def();
  tallSrc.height = tallDst.height = INT32_MAX;
  tallSrc.rowbytes = tallDst.rowbytes = 0;
  const PF_Rect lastRows{0, INT32_MAX - 2, 1, INT32_MAX};
  Visit last;
  last.failAt = INT32_MIN;
  host.render().iterate.set_threads(2);
  EXPECT_EQ(suite.iterate(&host.in_data, 0, 2, &tallSrc, &lastRows, &last, Visit::Row, &tallDst),
            PF_Err_NONE);
  EXPECT_EQ(last.rows, (std::set<A_long>{INT32_MAX - 2, INT32_MAX - 1}));
}

TEST(HostSimParams, ServesDeclaredDefaultsOverridesAndLayers) {
  Host host;
  PF_ParamDef layer{}, slider{};
  layer.param_type = PF_Param_LAYER;
  layer.u.ld.dephault = PF_LayerDefault_MYSELF;
  slider.param_type = PF_Param_SLIDER;
  slider.u.sd.value = 5;
  host.in_data.inter.add_param(nullptr, -1, &layer);
  host.in_data.inter.add_param(nullptr, -1, &slider);
  World own(Layout::Argb8, 3, 2);
  ParamServer& params = host.render().params;
  params.set_input_layer(own.def());

  auto& in = host.in_data;
  PF_ParamDef got{};
  ASSERT_EQ(in.inter.checkout_param(in.effect_ref, 2, 0, 1, 24, &got), PF_Err_NONE);
  EXPECT_EQ(got.u.sd.value, 5);
  EXPECT_EQ(params.Outstanding(), 1);
  slider.u.sd.value = 9;
  params.Set(2, slider);
  PF_ParamDef changed{};
  in.inter.checkout_param(in.effect_ref, 2, 0, 1, 24, &changed);
  EXPECT_EQ(changed.u.sd.value, 9);
  PF_ParamDef lay{};
  in.inter.checkout_param(in.effect_ref, 1, 0, 1, 24, &lay);
  EXPECT_EQ(lay.u.ld.data, own.def()->data);
  EXPECT_EQ(lay.u.ld.width, 3);
  params.SetLayer(1, nullptr);
  PF_ParamDef noLayer{};
  in.inter.checkout_param(in.effect_ref, 1, 0, 1, 24, &noLayer);
  EXPECT_EQ(noLayer.u.ld.data, nullptr);
  EXPECT_EQ(noLayer.u.ld.width, 0);
  PF_ParamDef undeclared{};
  EXPECT_EQ(in.inter.checkout_param(in.effect_ref, 3, 0, 1, 24, &undeclared),
            PF_Err_INVALID_INDEX);

  EXPECT_EQ(params.Outstanding(), 4);
  for (PF_ParamDef* d : {&got, &changed, &lay, &noLayer}) in.inter.checkin_param(in.effect_ref, d);
  in.inter.checkin_param(in.effect_ref, &got);
  EXPECT_EQ(params.Outstanding(), 0);
  EXPECT_EQ(params.StrayCheckins(), 1);
  EXPECT_EQ(params.CheckoutLog(), (std::vector<PF_ParamIndex>{2, 2, 1, 1, 3}));
}

}  // namespace
