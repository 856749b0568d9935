// A row routine walks the output's width along the input row from where the host pointed it. An
// input narrower than that walk must not be read past its row: the missing pixels count as
// transparent black.
#include <gtest/gtest.h>

#include "framework/row_routines.h"
#include "hostsim/world.h"
#include "tests/support/probe_effect.h"

using tavu::RenderData;
using tavu::hostsim::Layout;
using tavu::hostsim::World;
using tavu::testing::ProbeEffect;

namespace {

TEST(RowBounds, InputNarrowerThanTheRowReadsAsTransparent) {
  const struct {
    A_long inputWidth;
    A_long originX;
    bool noPixels;
  } cases[] = {{4, 0, false}, {4, 2, false}, {8, 0, false}, {3, 7, false}, {4, 0, true}};
  for (const auto& c : cases) {
    World input = c.noPixels ? World::NoPixels() : World(Layout::Argb8, c.inputWidth, 1);
    if (!c.noPixels) {
      input.Fill([](A_long x, A_long) { return tavu::hostsim::Channels{255, 10.0 * x + 1, 2, 3}; });
    }
    World output(Layout::Argb8, 6, 1);
    output.Fill([](A_long, A_long) { return tavu::hostsim::Channels{9, 9, 9, 9}; });

    PF_InData in_data{};
    in_data.output_origin_x = c.originX;
    ProbeEffect::ParamBlock block{};
    block.mode = ProbeEffect::kIdentity;
    World noLayer = World::NoPixels();
    block.layer = noLayer.def();
    RenderData rd{};
    rd.paramBlock = &block;
    rd.inData = &in_data;
    rd.inputWorld = input.def();
    rd.outputWorld = output.def();
    rd.bitsPerChannel = 8;

    // The host's pointer to the row's first input pixel: the input's column originX.
    auto* in = c.noPixels ? nullptr
                          : reinterpret_cast<PF_Pixel*>(input.PixelAddress(0, 0)) + c.originX;
    auto* out = reinterpret_cast<PF_Pixel*>(output.PixelAddress(0, 0));
    EXPECT_EQ(tavu::framework::Process8<ProbeEffect>(&rd, 0, 0, in, out), PF_Err_NONE);
    for (A_long x = 0; x < 6; ++x) {
      const A_long source = x + c.originX;
      const bool inside = !c.noPixels && source < c.inputWidth;
      const tavu::hostsim::Channels expected =
          inside ? tavu::hostsim::Channels{255, 10.0 * source + 1, 2, 3}
                 : tavu::hostsim::Channels{0, 0, 0, 0};
      EXPECT_EQ(output.Get(x, 0), expected)
          << "input " << c.inputWidth << " origin " << c.originX << " x " << x;
    }
    EXPECT_TRUE(output.OutsideIntact());
  }
}

}  // namespace
