// The render driver with spy effects: what it records per format, the routines it runs, the
// iteration geometry, the Premiere Pro frame bounds, and its suite handling.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "framework/pixel_access.h"
#include "framework/render_driver.h"
#include "hostsim/host.h"
#include "hostsim/render_services.h"
#include "hostsim/world.h"
#include "tests/support/host_checks.h"
#include "tests/support/parameterless_effect.h"

using namespace tavu;
using namespace tavu::hostsim;
using tavu::testing::Throws;

namespace {

// Records the context the rows see and every position Process is called with.
struct Spy : tavu::testing::ParameterlessEffect {
  static void Process(int x, int y, PF_PixelFloat*, const RenderData* rd) {
    std::lock_guard<std::mutex> lock(mutex);
    seen = *rd;
    ++calls;
    maxX = std::max(maxX, x);
    maxY = std::max(maxY, y);
  }
  static void Reset() {
    seen = RenderData{};
    calls = 0;
    maxX = maxY = -1;
  }
  static inline std::mutex mutex;
  static inline RenderData seen{};
  static inline long calls = 0;
  static inline int maxX = -1, maxY = -1;
};

using Identity = tavu::testing::ParameterlessEffect;

template <class Effect>
PF_Err Drive(Host& host, World& input, World& output, RenderData* rd) {
  host.SetWorldFormat(output.def(), output.format());
  rd->inData = &host.in_data;
  rd->inputWorld = input.def();
  rd->outputWorld = output.def();
  return framework::DoRender<Effect>(&host.in_data, input.def(), rd, &host.out_data,
                                     output.def(), nullptr);
}

int Acquisitions(const Host& host, const std::string& name) {
  int n = 0;
  for (const auto& c : host.SuiteLog()) n += c.kind == SuiteCall::Kind::Acquire && c.name == name;
  return n;
}

TEST(RenderDriver, RecordsFormatDepthAndTheLayoutsRoutineSet) {
  const struct {
    HostApp app;
    Layout layout;
    PF_PixelFormat format;
    PF_PixelFormat recorded;
    int bits;
    RoutineSet slots;
    const char* iterateSuite;  // null: the driver's own loops
    bool queryWritesNothing = false;
  } cases[] = {
      {HostApp::AfterEffects, Layout::Argb8, 0, 0x62677261, 8,
       {SamplePixel8, GetPixel8, SetPixel8, GetPixel8}, "PF Iterate8 Suite"},
      {HostApp::AfterEffects, Layout::Argb16, 0, 0x36316561, 16,
       {SamplePixel16, GetPixel16, SetPixel16, GetPixel16}, "PF iterate16 Suite"},
      {HostApp::AfterEffects, Layout::ArgbFloat, 0, 0x32336561, 32,
       {SamplePixelFloat, GetPixelFloat, SetPixelFloat, GetPixelFloat}, "PF iterateFloat Suite"},
      {HostApp::Premiere, Layout::Bgra8, 0, 0x62677261, 8,
       {SamplePixel8_BGRA, GetPixel8_BGRA, SetPixel8_BGRA, GetPixel8}, nullptr},
      {HostApp::Premiere, Layout::BgraFloat, 0x61724742, 0x32336561, 32,
       {SamplePixelFloat_BGRA, GetPixelFloat_BGRA, SetPixelFloat_BGRA, GetPixelFloat}, nullptr},
      {HostApp::Premiere, Layout::BgraFloat, 0x4C614742, 0x32336561, 32,
       {SamplePixelFloat_BGRA, GetPixelFloat_BGRA, SetPixelFloat_BGRA, GetPixelFloat}, nullptr},
      // A Premiere Pro query that fails and writes nothing: 'bgra' stands (the world's own 'argb'
      // would have been refused) and the frame renders as 8-bit BGRA.
      {HostApp::Premiere, Layout::Bgra8, 0x62677261, 0x62677261, 8,
       {SamplePixel8_BGRA, GetPixel8_BGRA, SetPixel8_BGRA, GetPixel8}, nullptr, true},
  };
  for (const auto& c : cases) {
    Host host(c.app);
    if (c.queryWritesNothing) host.FailAllCalls("GetPixelFormat", 99);
    WorldOptions opts;
    opts.format = c.format;
    World input(c.layout, 3, 2, opts), output(c.layout, 3, 2, opts);
    Spy::Reset();
    RenderData rd{};
    ASSERT_EQ(Drive<Spy>(host, input, output, &rd), PF_Err_NONE) << LayoutName(c.layout);
    for (const RenderData& r : {rd, Spy::seen}) {
      EXPECT_EQ(r.pixelFormat, c.recorded) << LayoutName(c.layout);
      EXPECT_EQ(r.bitsPerChannel, c.bits);
      EXPECT_EQ(r.AE_SamplePixel, c.slots.samplePixel);
      EXPECT_EQ(r.AE_GetPixel, c.slots.getPixel);
      EXPECT_EQ(r.AE_SetPixel, c.slots.setPixel);
      EXPECT_EQ(r.AEPrem_GetPixel, c.slots.premGetPixel);
    }
    EXPECT_EQ(Spy::calls, 6);
    for (const char* suite : {"PF Iterate8 Suite", "PF iterate16 Suite", "PF iterateFloat Suite"}) {
      const bool expected = c.iterateSuite != nullptr && std::string(suite) == c.iterateSuite;
      EXPECT_EQ(Acquisitions(host, suite), expected ? 1 : 0) << suite;
    }
    EXPECT_EQ(Acquisitions(host, "PF Pixel Format Suite"), c.app == HostApp::Premiere ? 1 : 0);
    EXPECT_EQ(host.OutstandingSuites(), 0);
  }
}

TEST(RenderDriver, IterationGeometryTakesTheFullHeightAndOrigin) {
  Host host(HostApp::AfterEffects);
  host.render().iterate.set_threads(1);
  World input(Layout::Argb8, 1, 70000), output(Layout::Argb8, 1, 70000);
  host.in_data.output_origin_x = 0x12345;
  host.in_data.output_origin_y = -3;
  RenderData rd{};
  Drive<Identity>(host, input, output, &rd);
  const auto calls = host.render().iterate.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].bits, 8);
  EXPECT_EQ(calls[0].progressBase, 0);
  EXPECT_EQ(calls[0].progressFinal, 70000);
  EXPECT_EQ(calls[0].area.left, 0);
  EXPECT_EQ(calls[0].area.top, 0);
  EXPECT_EQ(calls[0].area.right, 1);
  EXPECT_EQ(calls[0].area.bottom, 70000);
  EXPECT_EQ(calls[0].origin.h, 0x12345);
  EXPECT_EQ(calls[0].origin.v, -3);
  EXPECT_EQ(calls[0].src, input.def());
  EXPECT_EQ(calls[0].dst, output.def());
  EXPECT_EQ(calls[0].refcon, &rd);
}

TEST(RenderDriver, EveryStoredValueComesBackThroughTheRowRoutines) {
  for (Layout layout : {Layout::Argb8, Layout::Bgra8, Layout::Argb16}) {
    Host host(layout == Layout::Bgra8 ? HostApp::Premiere : HostApp::AfterEffects);
    const A_long n = layout == Layout::Argb16 ? 32769 : 256;
    World input(layout, n, 2), output(layout, n, 2);
    input.Fill([&](A_long x, A_long y) {
      const double v = x, w = n - 1 - x;
      return y == 0 ? Channels{v, w, v, w} : Channels{w, v, w, v};
    });
    RenderData rd{};
    ASSERT_EQ(Drive<Identity>(host, input, output, &rd), PF_Err_NONE);
    for (A_long y = 0; y < 2; ++y) {
      for (A_long x = 0; x < n; ++x) ASSERT_EQ(output.Get(x, y), input.Get(x, y)) << x;
    }
  }
}

TEST(RenderDriver, PremiereFramesStayInsideBothWorlds) {
  // extent rows, input and output sizes, the rows and columns Process must see.
  const struct {
    const char* what;
    A_long extentTop, extentBottom;
    A_long inW, inH, outW, outH;
    long calls;
    int maxX, maxY;
  } cases[] = {
      {"narrower input", 0, 4, 100, 4, 120, 4, 400, 99, 3},
      {"extent offset: rows counted from the first row", 2, 5, 8, 8, 8, 8, 24, 7, 2},
      {"extent taller than the output", 0, 50, 8, 40, 8, 6, 48, 7, 5},
      {"input shorter than the output", 0, 6, 8, 3, 8, 6, 24, 7, 2},
      {"empty extent", 3, 3, 8, 8, 8, 8, 0, -1, -1},
      {"inverted extent", 5, 1, 8, 8, 8, 8, 0, -1, -1},
  };
  for (const auto& c : cases) {
    Host host(HostApp::Premiere);
    WorldOptions opts;
    opts.extent = PF_UnionableRect{0, c.extentTop, c.outW, c.extentBottom};
    World input(Layout::Bgra8, c.inW, c.inH), output(Layout::Bgra8, c.outW, c.outH, opts);
    output.Fill([](A_long, A_long) { return Channels{1, 2, 3, 4}; });
    Spy::Reset();
    RenderData rd{};
    EXPECT_EQ(Drive<Spy>(host, input, output, &rd), PF_Err_NONE) << c.what;
    EXPECT_EQ(Spy::calls, c.calls) << c.what;
    EXPECT_EQ(Spy::maxX, c.maxX) << c.what;
    EXPECT_EQ(Spy::maxY, c.maxY) << c.what;
    // Pixels beyond the narrower world keep their value.
    if (c.outW > c.inW) {
      EXPECT_EQ(output.Get(c.outW - 1, 0), (Channels{1, 2, 3, 4})) << c.what;
    }
    EXPECT_TRUE(output.OutsideIntact() && input.OutsideIntact()) << c.what;
  }
}

// A refused suite ends the render where the render would call it. A success without a table ends
// it too where the table is called, but Premiere Pro never calls the World Suite's: its frame
// renders.
TEST(RenderDriver, SuiteRefusalsEndTheRenderWithNothingLeftAcquired) {
  const struct {
    const char* what;
    HostApp app;
    std::function<void(Host&)> arrange;
    PF_Err expected;
    long pixels;  // handed to Process
  } cases[] = {
      {"World Suite error", HostApp::AfterEffects,
       [](Host& h) { h.FailAcquire(kPFWorldSuite, 2, 33, nullptr); }, 33, 0},
      {"World Suite error with a pointer written", HostApp::Premiere,
       [](Host& h) { h.FailAcquire(kPFWorldSuite, 2, 34, &h); }, 34, 0},
      {"World Suite success without a table", HostApp::AfterEffects,
       [](Host& h) { h.AcquireYieldsNull(kPFWorldSuite, 2); }, PF_Err_BAD_CALLBACK_PARAM, 0},
      {"World Suite success without a table, Premiere Pro", HostApp::Premiere,
       [](Host& h) { h.AcquireYieldsNull(kPFWorldSuite, 2); }, PF_Err_NONE, 4},
      {"Pixel Format Suite error", HostApp::Premiere,
       [](Host& h) { h.FailAcquire(kPFPixelFormatSuite, 1, 35, &h); }, 35, 0},
      {"Pixel Format Suite success without a table", HostApp::Premiere,
       [](Host& h) { h.AcquireYieldsNull(kPFPixelFormatSuite, 1); }, PF_Err_BAD_CALLBACK_PARAM,
       0},
  };
  for (const auto& c : cases) {
    Host host(c.app);
    const Layout layout = c.app == HostApp::Premiere ? Layout::Bgra8 : Layout::Argb8;
    World input(layout, 2, 2), output(layout, 2, 2);
    c.arrange(host);
    Spy::Reset();
    RenderData rd{};
    EXPECT_EQ(Drive<Spy>(host, input, output, &rd), c.expected) << c.what;
    EXPECT_EQ(Spy::calls, c.pixels) << c.what;
    EXPECT_EQ(rd.AE_GetPixel, c.pixels == 0 ? nullptr : GetPixel8_BGRA) << c.what;
    EXPECT_EQ(host.OutstandingSuites(), 0) << c.what;
    // Released exactly what was handed out: the host refuses the release of a suite it did not
    // hand out, and a refused acquisition must not be given back.
    for (const auto& call : host.SuiteLog()) {
      if (call.kind == SuiteCall::Kind::Release) {
        EXPECT_EQ(call.result, kSPNoError) << c.what << ": " << call.name;
      }
    }
  }

  // A missing iterate suite is raised as the integer 516, the World Suite already given back.
  Host host(HostApp::AfterEffects);
  host.RemoveSuite(kPFIterate16Suite, 1);
  World input(Layout::Argb16, 2, 2), output(Layout::Argb16, 2, 2);
  RenderData rd{};
  EXPECT_EQ(Throws([&] { Drive<Spy>(host, input, output, &rd); }), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.OutstandingSuites(), 0);
}

}  // namespace
