// The render road through EffectMain: render and smart render with the probe effect, in every
// format of both hosts, their failure paths and check-in counts, and overlapping renders.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "hostsim/frame_formats.h"
#include "tests/framework/pipeline_fixture.h"

using namespace tavu;
using namespace tavu::hostsim;
using tavu::testing::Pattern;
using tavu::testing::PipelineTest;
using tavu::testing::ProbeEffect;

namespace {

const auto& kFormats = tavu::hostsim::kFrameFormats;

// Every pixel of got against want(x, y); the first difference ends the check.
void ExpectEveryPixel(const World& got, const std::function<Channels(A_long, A_long)>& want,
                      const std::string& what = "") {
  for (A_long y = 0; y < got.height(); ++y) {
    for (A_long x = 0; x < got.width(); ++x) {
      ASSERT_EQ(got.Get(x, y), want(x, y)) << what << " at " << x << "," << y;
    }
  }
}

using RenderCommands = PipelineTest;

TEST_F(RenderCommands, IdentityRendersEveryFormatOfBothHostsBitForBit) {
  for (const auto& f : kFormats) {
    for (bool smart : {false, true}) {
      for (bool bottomUp : {false, true}) {
        Start(f.app);
        WorldOptions opts;
        opts.rowPadding = 8 * static_cast<A_long>(ChannelSize(f.layout));
        opts.bottomUp = bottomUp;
        opts.format = f.code;
        World input(f.layout, 37, 23, opts), output(f.layout, 37, 23, opts);
        input.Fill([&](A_long x, A_long y) { return Pattern(f.layout, x, y); });
        const std::string what = std::string(LayoutName(f.layout)) + (smart ? " smart" : "") +
                                 (bottomUp ? " bottom-up" : "");
        ASSERT_EQ(session->Render({&input, &output, smart}), PF_Err_NONE) << what;
        ExpectEveryPixel(output, [&](A_long x, A_long y) { return input.Get(x, y); }, what);
        EXPECT_TRUE(output.OutsideIntact()) << what;
        EXPECT_EQ(host->render().params.Outstanding(), 0) << what;
        EXPECT_EQ(host->OutstandingSuites(), 0) << what;
      }
    }
  }
}

TEST_F(RenderCommands, ProcessSeesOutputPositionsAndTheIterationOrigin) {
  // After Effects shifts the input by the output origin; Premiere Pro walks both worlds from
  // their first pixel.
  for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
    const Layout layout = app == HostApp::Premiere ? Layout::BgraFloat : Layout::ArgbFloat;
    Start(app);
    World input(layout, 40, 30), output(layout, 31, 17);
    input.Fill([&](A_long x, A_long y) { return Channels{double(x), double(y), 0, 0}; });
    RenderRequest identity{&input, &output};
    identity.originX = 5;
    identity.originY = 3;
    ASSERT_EQ(session->Render(identity), PF_Err_NONE);
    const A_long dx = app == HostApp::Premiere ? 0 : 5, dy = app == HostApp::Premiere ? 0 : 3;
    ExpectEveryPixel(output, [&](A_long x, A_long y) {
      return Channels{double(x + dx), double(y + dy), 0, 0};
    });
    RenderRequest position = identity;
    position.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kPosition)},
                       {ProbeEffect::kValue, Value(7)},
                       {ProbeEffect::kTag, Tag(9)}};
    ASSERT_EQ(session->Render(position), PF_Err_NONE);
    ExpectEveryPixel(output,
                     [](A_long x, A_long y) { return Channels{7, double(x), double(y), 9}; });
  }
}

// A frame taller than a 16-bit row count holds runs every row: it comes out exactly as its two
// halves do when each is rendered as a frame of its own.
TEST_F(RenderCommands, AFrameOfFortyThousandRowsRendersAsItsHalvesApart) {
  constexpr A_long kWidth = 3, kRows = 40000, kHalf = kRows / 2;
  for (const auto& f : kFormats) {
    if (f.app != HostApp::AfterEffects) continue;
    for (bool smart : {false, true}) {
      Start(f.app);
      const auto render = [&](A_long firstRow, A_long rows) {
        World input(f.layout, kWidth, rows), output(f.layout, kWidth, rows);
        input.Fill([&](A_long x, A_long y) { return Pattern(f.layout, x, firstRow + y); });
        RenderRequest r{&input, &output, smart};
        r.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kScale)},
                    {ProbeEffect::kValue, Value(0.5)}};
        EXPECT_EQ(session->Render(r), PF_Err_NONE);
        return output;
      };
      const World whole = render(0, kRows), top = render(0, kHalf), bottom = render(kHalf, kHalf);
      const std::string what = std::string(LayoutName(f.layout)) + (smart ? " smart" : "");
      ExpectEveryPixel(whole, [&](A_long x, A_long y) {
        return y < kHalf ? top.Get(x, y) : bottom.Get(x, y - kHalf);
      }, what);
    }
  }
}

TEST_F(RenderCommands, RowRoutinesClampOutOfRangeResultsIntoIntegerChannels) {
  // Stored input, gain, expected store: never wrapped, NaN to 0; float passes through.
  const struct {
    Layout layout;
    HostApp app;
    double in, gain, out;
  } cases[] = {
      {Layout::Argb8, HostApp::AfterEffects, 200, 2.0, 255},
      {Layout::Argb8, HostApp::AfterEffects, 200, -1.0, 0},
      {Layout::Argb8, HostApp::AfterEffects, 200, NAN, 0},
      {Layout::Argb8, HostApp::AfterEffects, 100, 0.5, 50},
      {Layout::Argb16, HostApp::AfterEffects, 30000, 1.5, 32768},
      {Layout::Argb16, HostApp::AfterEffects, 30000, -0.01, 0},
      {Layout::Bgra8, HostApp::Premiere, 200, 3.0, 255},
      {Layout::Bgra8, HostApp::Premiere, 200, -2.0, 0},
      {Layout::ArgbFloat, HostApp::AfterEffects, 0.75, 4.0, 3.0},
      {Layout::BgraFloat, HostApp::Premiere, 0.75, -2.0, -1.5},
  };
  for (const auto& c : cases) {
    Start(c.app);
    World input(c.layout, 5, 3), output(c.layout, 5, 3);
    input.Fill([&](A_long, A_long) { return Channels{c.in, c.in, c.in, c.in}; });
    RenderRequest r{&input, &output};
    r.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kScale)},
                {ProbeEffect::kValue, Value(c.gain)}};
    ASSERT_EQ(session->Render(r), PF_Err_NONE);
    EXPECT_EQ(output.Get(4, 2), (Channels{c.out, c.out, c.out, c.out}))
        << LayoutName(c.layout) << " " << c.in << " x " << c.gain;
  }
}

TEST_F(RenderCommands, ChecksOutExactlyParametersOneToNAndChecksEachIn) {
  for (bool smart : {false, true}) {
    Start(HostApp::AfterEffects);
    World input(Layout::Argb8, 4, 4), output(Layout::Argb8, 4, 4);
    ASSERT_EQ(session->Render({&input, &output, smart}), PF_Err_NONE);
    EXPECT_EQ(host->render().params.CheckoutLog(), (std::vector<PF_ParamIndex>{1, 2, 3, 4}));
    EXPECT_EQ(host->render().params.Checkins(), 4);
    EXPECT_EQ(host->render().params.StrayCheckins(), 0);
    EXPECT_EQ(host->render().smart.LayerCheckins(), 0) << "smart render never checks the layer in";
  }
}

TEST_F(RenderCommands, FailurePathsReturnTheirCodeWithEveryParameterCheckedIn) {
  struct Case {
    const char* what;
    HostApp app;
    Layout layout;
    bool smart;
    std::function<void(Host&)> arrange;
    PF_Err expected;
    int checkouts;  // check-out calls made
    int checkins;   // check-in calls made
  };
  const Case cases[] = {
      {"Premiere output in 'argb', check-in 3 fails", HostApp::Premiere, Layout::Argb8, false,
       [](Host& h) { h.FailCall("checkin_param", 3, 77); }, PF_Err_UNRECOGNIZED_PARAM_TYPE, 4, 4},
      {"After Effects output in 'bgra'", HostApp::AfterEffects, Layout::Bgra8, false, [](Host&) {},
       PF_Err_BAD_CALLBACK_PARAM, 4, 4},
      {"check-ins 2 and 4 fail", HostApp::AfterEffects, Layout::Argb8, false,
       [](Host& h) {
         h.FailCall("checkin_param", 2, 41);
         h.FailCall("checkin_param", 4, 43);
       },
       41, 4, 4},
      {"smart: check-in 1 fails", HostApp::AfterEffects, Layout::Argb16, true,
       [](Host& h) { h.FailCall("checkin_param", 1, 40); }, 40, 4, 4},
      {"check-out 2 fails: the render goes on", HostApp::AfterEffects, Layout::Argb8, false,
       [](Host& h) { h.FailCall("checkout_param", 2, 50); }, PF_Err_NONE, 4, 4},
      {"iterate suite missing: 516 with the World Suite released", HostApp::AfterEffects,
       Layout::Argb8, false, [](Host& h) { h.RemoveSuite(kPFIterate8Suite, 1); },
       PF_Err_BAD_CALLBACK_PARAM, 4, 4},
      {"World Suite refused", HostApp::AfterEffects, Layout::ArgbFloat, false,
       [](Host& h) { h.FailAcquire(kPFWorldSuite, 2, 61, nullptr); }, 61, 4, 4},
      {"iterate_origin fails", HostApp::AfterEffects, Layout::ArgbFloat, true,
       [](Host& h) { h.FailCall("iterate_origin", 1, 62); }, 62, 4, 4},
      {"Pixel Format Suite refused", HostApp::Premiere, Layout::Bgra8, false,
       [](Host& h) { h.FailAcquire(kPFPixelFormatSuite, 1, 63, nullptr); }, 63, 4, 4},
      {"smart: checkout_layer_pixels fails", HostApp::AfterEffects, Layout::Argb8, true,
       [](Host& h) { h.FailCall("checkout_layer_pixels", 1, 71); }, 71, 0, 0},
      {"smart: checkout_output fails", HostApp::Premiere, Layout::Bgra8, true,
       [](Host& h) { h.FailCall("checkout_output", 1, 72); }, 72, 0, 0},
  };
  for (const auto& c : cases) {
    Start(c.app);
    World input(c.layout, 6, 4), output(c.layout, 6, 4);
    input.Fill([](A_long, A_long) { return Channels{9, 9, 9, 9}; });
    c.arrange(*host);
    EXPECT_EQ(session->Render({&input, &output, c.smart}), c.expected) << c.what;
    const ParamServer& p = host->render().params;
    EXPECT_EQ(static_cast<int>(p.CheckoutLog().size()), c.checkouts) << c.what;
    EXPECT_EQ(p.Checkins(), c.checkins) << c.what;
    EXPECT_EQ(p.Outstanding(), 0) << c.what;
    EXPECT_EQ(host->OutstandingSuites(), 0) << c.what;
    if (c.expected != PF_Err_NONE && c.expected != 40 && c.expected != 41) {
      EXPECT_EQ(output.Get(0, 0), (Channels{0, 0, 0, 0})) << c.what << ": no pixel written";
    }
  }
}

TEST_F(RenderCommands, WithoutABlockNothingIsCalled) {
  void* noBlock = nullptr;
  const PF_Handle handles[] = {nullptr, reinterpret_cast<PF_Handle>(&noBlock)};
  for (PF_Handle handle : handles) {
    for (bool smart : {false, true}) {
      Start(HostApp::AfterEffects);
      session->set_sequence_data(handle);
      World input(Layout::Argb8, 2, 2), output(Layout::Argb8, 2, 2);
      EXPECT_EQ(session->Render({&input, &output, smart}), PF_Err_INTERNAL_STRUCT_DAMAGED);
      EXPECT_TRUE(host->render().params.CheckoutLog().empty());
      EXPECT_EQ(host->CallCount("checkout_layer_pixels"), 0);
      EXPECT_TRUE(host->SuiteLog().empty());
    }
  }
  // A classic render whose params array lacks the input layer.
  Start(HostApp::AfterEffects);
  World output(Layout::Argb8, 2, 2);
  PF_ParamDef* params[] = {nullptr};
  EXPECT_EQ(
      EffectMain(PF_Cmd_RENDER, &host->in_data, &host->out_data, params, output.def(), nullptr),
      PF_Err_INTERNAL_STRUCT_DAMAGED);
  EXPECT_TRUE(host->render().params.CheckoutLog().empty());
}

TEST_F(RenderCommands, SmartRenderRefusesAWorldTheHostDidNotHandOut) {
  // Outside a Session render the callbacks serve the host-wide worlds; a success without a world
  // ends the command before any parameter is checked out.
  Start(HostApp::AfterEffects);
  World world(Layout::Argb8, 2, 2);
  PF_SmartRenderInput input{};
  PF_SmartRenderExtra extra{&input, &host->render().smart.table};
  for (bool inputMissing : {true, false}) {
    host->render().smart.set_input(inputMissing ? nullptr : world.def());
    host->render().smart.set_output(inputMissing ? world.def() : nullptr);
    EXPECT_EQ(EffectMain(PF_Cmd_SMART_RENDER, &host->in_data, &host->out_data, nullptr, nullptr,
                         &extra),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    EXPECT_TRUE(host->render().params.CheckoutLog().empty());
  }
}

TEST_F(RenderCommands, SecondLayerReadersFollowTheFrame) {
  // Premiere Pro 8-bit BGRA layer pixel blue 10, green 20, red 30, alpha 255. Through
  // AEPrem_GetPixel it is read in ARGB memory order (alpha 10, red 20, green 30, blue 255);
  // through AE_GetPixel in its own order. Written back in BGRA order either way.
  Start(HostApp::Premiere);
  World layer(Layout::Bgra8, 3, 2), input(Layout::Bgra8, 4, 2), output(Layout::Bgra8, 4, 2);
  layer.Fill([](A_long, A_long) { return Channels{255, 30, 20, 10}; });
  RenderRequest r{&input, &output};
  r.layers = {{ProbeEffect::kLayer, layer.def()}};
  r.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kPremReader)}};
  ASSERT_EQ(session->Render(r), PF_Err_NONE);
  EXPECT_EQ(output.Get(1, 1), (Channels{10, 20, 30, 255}));
  EXPECT_EQ(output.Get(3, 1), (Channels{0, 0, 0, 0})) << "outside the layer";
  r.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kFrameReader)}};
  ASSERT_EQ(session->Render(r), PF_Err_NONE);
  EXPECT_EQ(output.Get(1, 1), (Channels{255, 30, 20, 10}));

  // A layer parameter naming no layer, and one whose check-out fails: no pixel is read.
  Start(HostApp::AfterEffects);
  World in8(Layout::Argb8, 3, 3), out8(Layout::Argb8, 3, 3);
  in8.Fill([](A_long, A_long) { return Channels{1, 2, 3, 4}; });
  RenderRequest none{&in8, &out8};
  none.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kPremReader)}};
  none.layers = {{ProbeEffect::kLayer, nullptr}};
  out8.Fill([](A_long, A_long) { return Channels{7, 7, 7, 7}; });
  ASSERT_EQ(session->Render(none), PF_Err_NONE);
  EXPECT_EQ(out8.Get(2, 2), (Channels{0, 0, 0, 0}));
  none.layers.clear();  // default: the effect's own layer
  ASSERT_EQ(session->Render(none), PF_Err_NONE);
  EXPECT_EQ(out8.Get(2, 2), (Channels{1, 2, 3, 4}));
  host->FailCall("checkout_param", 1, 5);
  out8.Fill([](A_long, A_long) { return Channels{7, 7, 7, 7}; });
  ASSERT_EQ(session->Render(none), PF_Err_NONE);
  EXPECT_EQ(out8.Get(2, 2), (Channels{0, 0, 0, 0}));
}

TEST_F(RenderCommands, EightBitAndFloatRendersAtOnceEachUseTheirOwnReaders) {
  Start(HostApp::AfterEffects);
  World layer8(Layout::Argb8, 16, 8), layerF(Layout::ArgbFloat, 16, 8);
  layer8.Fill([](A_long x, A_long y) { return Pattern(Layout::Argb8, x, y); });
  layerF.Fill([](A_long x, A_long y) { return Pattern(Layout::ArgbFloat, x, y); });
  auto run = [&](Layout layout, const World& layer) {
    for (int i = 0; i < 25; ++i) {
      World input(layout, 16, 8), output(layout, 16, 8);
      RenderRequest r{&input, &output};
      r.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kPremReader)}};
      r.layers = {{ProbeEffect::kLayer, layer.def()}};
      ASSERT_EQ(session->Render(r), PF_Err_NONE);
      ExpectEveryPixel(output, [&](A_long x, A_long y) { return layer.Get(x, y); });
    }
  };
  std::thread eight([&] { run(Layout::Argb8, layer8); });
  std::thread wide([&] { run(Layout::ArgbFloat, layerF); });
  eight.join();
  wide.join();
}

TEST_F(RenderCommands, OverlappingRendersOfOneInstanceEachReadTheirOwnValues) {
  // One instance, one sequence handle for every render (Premiere Pro's worst case), rows on
  // several threads, and renders overlapping on eight more: each output carries exactly its own
  // parameter values.
  for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
    const Layout layout = app == HostApp::Premiere ? Layout::BgraFloat : Layout::ArgbFloat;
    Start(app, 3);
    std::vector<std::thread> renders;
    std::atomic<int> wrong{0};
    for (int t = 0; t < 8; ++t) {
      renders.emplace_back([&, t] {
        for (int i = 0; i < 6; ++i) {
          const int k = t * 100 + i;
          World input(layout, 48, 24), output(layout, 48, 24);
          RenderRequest r{&input, &output, (i % 2) == 1};
          r.params = {{ProbeEffect::kMode, Mode(ProbeEffect::kPosition)},
                      {ProbeEffect::kValue, Value(k + 0.5)},
                      {ProbeEffect::kTag, Tag(k)}};
          if (session->Render(r) != PF_Err_NONE) ++wrong;
          for (A_long y = 0; y < 24; ++y) {
            for (A_long x = 0; x < 48; ++x) {
              if (output.Get(x, y) != Channels{k + 0.5, double(x), double(y), double(k)}) ++wrong;
            }
          }
        }
      });
    }
    for (auto& r : renders) r.join();
    EXPECT_EQ(wrong.load(), 0) << (app == HostApp::Premiere ? "Premiere" : "After Effects");
    EXPECT_EQ(host->render().params.Outstanding(), 0);
  }
}

}  // namespace
