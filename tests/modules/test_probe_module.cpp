// The probe effect built as a module: a frame travels through the module's exports in all six
// formats of both hosts, classic and smart.
#include <gtest/gtest.h>

#include "hostsim/frame_formats.h"
#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/session.h"

using namespace tavu::hostsim;

namespace {

// The probe's parameters (tests/support/probe_effect.h).
constexpr PF_ParamIndex kMode = 2, kValue = 3;
constexpr int kPosition = 2, kSampler = 6;

TEST(ProbeModule, RendersEveryFormatOfBothHostsThroughItsExports) {
  Module module(TAVU_MODULE_TavuProbe);
  for (const auto& f : tavu::hostsim::kFrameFormats) {
    for (bool smart : {false, true}) {
      Host host(f.app);
      Session session(host, module);
      ASSERT_EQ(session.Setup(), PF_Err_NONE);
      if (session.sequence_data() == nullptr) session.set_sequence_data(host.NewHandle(24));
      WorldOptions opts;
      opts.format = f.code;
      World input(f.layout, 19, 11, opts), output(f.layout, 19, 11, opts);
      input.Fill([](A_long x, A_long y) {
        return Channels{double(x + y), double(x), double(y), 7};
      });
      const char* what = LayoutName(f.layout);
      ASSERT_EQ(session.Render({&input, &output, smart}), PF_Err_NONE) << what;
      for (A_long y = 0; y < 11; ++y) {
        for (A_long x = 0; x < 19; ++x) ASSERT_EQ(output.Get(x, y), input.Get(x, y)) << what;
      }
      if (IsFloat(f.layout)) {
        RenderRequest r{&input, &output, smart};
        PF_ParamDef mode = session.Param(kMode);
        mode.u.pd.value = kPosition;
        r.params = {{kMode, mode}};
        ASSERT_EQ(session.Render(r), PF_Err_NONE);
        EXPECT_EQ(output.Get(18, 10), (Channels{1, 18, 10, 0})) << what;
      }
      EXPECT_EQ(host.render().params.Outstanding(), 0);
      EXPECT_EQ(host.OutstandingSuites(), 0);
    }
  }
}

TEST(ProbeModule, ReachesTheHostsSamplerThroughTheContext) {
  Module module(TAVU_MODULE_TavuProbe);
  Host host(HostApp::AfterEffects);
  Session session(host, module);
  ASSERT_EQ(session.Setup(), PF_Err_NONE);
  if (session.sequence_data() == nullptr) session.set_sequence_data(host.NewHandle(24));
  World input(Layout::Argb8, 4, 1), output(Layout::Argb8, 4, 1);
  input.Fill([](A_long x, A_long) { return Channels{x * 60.0, 0, 0, 0}; });
  RenderRequest r{&input, &output};
  PF_ParamDef mode = session.Param(kMode), value = session.Param(kValue);
  mode.u.pd.value = kSampler;
  value.u.fs_d.value = 0.5;
  r.params = {{kMode, mode}, {kValue, value}};
  ASSERT_EQ(session.Render(r), PF_Err_NONE);
  // Half-way between stored alphas 0, 60, 120, 180 and, past the edge, 0.
  EXPECT_EQ(output.Get(0, 0)[0], 30);
  EXPECT_EQ(output.Get(2, 0)[0], 150);
  EXPECT_EQ(output.Get(3, 0)[0], 90);
}

}  // namespace
