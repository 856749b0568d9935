// A row routine walks the output's width along the input row from where the host pointed it. An
// input narrower than that walk must not be read past its row: the missing pixels count as
// transparent black.
#include <gtest/gtest.h>

#include <cstdint>

#include "framework/row_routines.h"
#include "hostsim/world.h"
#include "tests/support/parameterless_effect.h"
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
  } cases[] = {{4, 0, false}, {4, 2, false},      {8, 0, false},
               {3, 7, false}, {4, 0, true},       {40003, 40000, false}};
  // A red that tells the columns apart, within 8 bits however wide the input.
  const auto red = [](A_long x) { return double((10 * x + 1) % 256); };
  for (const auto& c : cases) {
    World input = c.noPixels ? World::NoPixels() : World(Layout::Argb8, c.inputWidth, 1);
    if (!c.noPixels) {
      input.Fill([&](A_long x, A_long) { return tavu::hostsim::Channels{255, red(x), 2, 3}; });
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
          inside ? tavu::hostsim::Channels{255, red(source), 2, 3}
                 : tavu::hostsim::Channels{0, 0, 0, 0};
      EXPECT_EQ(output.Get(x, 0), expected)
          << "input " << c.inputWidth << " origin " << c.originX << " x " << x;
    }
    EXPECT_TRUE(output.OutsideIntact());
  }
}

}  // namespace

// Counts the pixels a routine hands over.
struct CountingEffect : tavu::testing::ParameterlessEffect {
  static void Process(int, int, PF_PixelFloat*, const RenderData*) { ++calls; }
  static inline long calls = 0;
};

// A row routine called for an output no pixel wide, or of a negative width, returns 0 before it
// looks at anything else and hands no pixel to Process; the Premiere Pro frame loops do the same
// when the narrower of the two worlds has no columns.
TEST(RowBounds, NoColumnsMeansNoPixels) {
  using namespace tavu::framework;
  using E = CountingEffect;
  for (const A_long width : {0, -1, -7, INT32_MIN}) {
    for (const A_long originX : {0, 5, -5}) {
      World input(Layout::ArgbFloat, 4, 2);
      PF_LayerDef output = *input.def();  // pixels to point at; only its width differs
      output.width = width;
      PF_InData in_data{};
      in_data.output_origin_x = originX;
      RenderData rd{};
      rd.inData = &in_data;
      rd.inputWorld = input.def();
      rd.outputWorld = &output;
      auto* px = reinterpret_cast<PF_PixelFloat*>(input.PixelAddress(0, 0));
      const struct {
        const char* routine;
        PF_Err (*run)(RenderData*, PF_PixelFloat*);
      } rows[] = {
          {"Process8", [](RenderData* r, PF_PixelFloat* p) {
             return Process8<E>(r, 0, 0, reinterpret_cast<PF_Pixel*>(p),
                                reinterpret_cast<PF_Pixel*>(p));
           }},
          {"Process16", [](RenderData* r, PF_PixelFloat* p) {
             return Process16<E>(r, 0, 0, reinterpret_cast<PF_Pixel16*>(p),
                                 reinterpret_cast<PF_Pixel16*>(p));
           }},
          {"ProcessFloat", [](RenderData* r, PF_PixelFloat* p) {
             return ProcessFloat<E>(r, 0, 0, p, p);
           }},
      };
      for (const auto& row : rows) {
        E::calls = 0;
        EXPECT_EQ(row.run(&rd, px), PF_Err_NONE) << row.routine << " width " << width;
        EXPECT_EQ(E::calls, 0) << row.routine << " width " << width << " origin " << originX;
      }
    }
    // Premiere Pro: the output, then the input, is the narrower world. A world with no columns
    // may carry any row stride, as nothing in it is ever addressed: the loops must not walk its
    // rows, whose addresses would run below the start of memory (the sanitizer build reports it).
    constexpr A_long kRows = 70000;
    for (const bool outputNarrower : {true, false}) {
      for (const FrameRoutine frame : {Process8_BGRA<E>, ProcessFloat_BGRA<E>}) {
        World wide(Layout::BgraFloat, 4, kRows);
        PF_LayerDef narrow = *wide.def();
        narrow.width = width;
        narrow.rowbytes = INT32_MIN;
        PF_LayerDef* input = outputNarrower ? wide.def() : &narrow;
        PF_LayerDef* output = outputNarrower ? &narrow : wide.def();
        RenderData rd{};
        rd.inputWorld = input;
        rd.outputWorld = output;
        E::calls = 0;
        EXPECT_EQ(frame(nullptr, 0, kRows, input, &rd, output), PF_Err_NONE) << "width " << width;
        EXPECT_EQ(E::calls, 0) << "width " << width << (outputNarrower ? " output" : " input");
      }
    }
  }
}
