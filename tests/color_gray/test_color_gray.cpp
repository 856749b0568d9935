// Color Gray's parameter copy and per-pixel lookup, in the arithmetic variant this binary is
// built with. The reference layer's pixel (x, y) holds red x / 16 and green y / 16, so the
// output at Mix 100 shows where the lookup read.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "effects/color_gray/color_gray.h"
#include "framework/pixel_access.h"
#include "hostsim/world.h"
#include "tests/blending/float_expect.h"

using namespace tavu;
using tavu::color_gray::Effect;
using tavu::color_gray::ParamBlock;
using tavu::hostsim::Channels;
using tavu::hostsim::Layout;
using tavu::hostsim::World;

namespace {

constexpr bool kMac = tavu::testing::kMacArithmetic;
using tavu::testing::Bits;
using tavu::testing::FromBits;
using tavu::blending::test::ExpectPixel;

constexpr int kAverage = 0, kLuma = 1, kLightness = 2;
constexpr int kLeftRight = 0, kTopBottom = 1;

// The gray values written out with the constants' bit patterns.
float Gray(int source, float r, float g, float b) {
  switch (source) {
    case kAverage:
      return ((r + g) + b) * FromBits(0x3EAAAA9F);
    case kLuma:
      return (FromBits(0x3E991687) * r + FromBits(0x3F1645A2) * g) + FromBits(0x3DE978D5) * b;
    default:
      return (std::fmax(std::fmax(r, g), b) + std::fmin(std::fmin(r, g), b)) * 0.5f;
  }
}

World Reference(A_long width, A_long height) {
  World w(Layout::ArgbFloat, width, height);
  w.Fill([](A_long x, A_long y) { return Channels{0.5, x / 16.0, y / 16.0, 0.75}; });
  return w;
}

PF_PixelFloat Lookup(int source, int lookup, const PF_LayerDef* reference, PF_PixelFloat pixel,
                     float mix = 1.0f, const RoutineSet& routines = kRoutinesArgbFloat) {
  ParamBlock block{source, lookup, const_cast<PF_LayerDef*>(reference), mix};
  RenderData rd{};
  rd.paramBlock = &block;
  RecordRoutines(&rd, routines);
  Effect::Process(5, 7, &pixel, &rd);
  return pixel;
}

TEST(ColorGray, ParamsAssignStoresSourceLookupReferenceAndMix) {
  World ref = Reference(3, 3);
  PF_ParamDef defs[5];
  std::memset(defs, 0, sizeof defs);
  defs[1].u.ld = *ref.def();
  defs[2].u.pd.value = 3;
  defs[3].u.pd.value = 2;
  defs[4].u.fs_d.value = 30;
  PF_ParamDef* table[5] = {nullptr, &defs[1], &defs[2], &defs[3], &defs[4]};
  ParamBlock block{};
  RenderData rd{};
  rd.paramBlock = &block;
  ASSERT_EQ(Effect::ParamsAssign(nullptr, nullptr, table, nullptr, nullptr, &rd), PF_Err_NONE);
  EXPECT_EQ(block.graySource, kLightness);
  EXPECT_EQ(block.colorLookup, kTopBottom);
  EXPECT_EQ(block.colorReference, &defs[1].u.ld);
  EXPECT_EQ(Bits(block.mix), kMac ? 0x3E99999Au : 0x3E999999u);
  rd.paramBlock = nullptr;
  EXPECT_EQ(Effect::ParamsAssign(nullptr, nullptr, table, nullptr, nullptr, &rd),
            PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST(ColorGray, GrayValuePicksTheReferencePosition) {
  // A reference 9 wide and 6 high: Left-Right reads row 1 at (9 - 1) x g, Top-Bottom column 0 at
  // (6 - 1) x g, truncated.
  World ref = Reference(9, 6);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const struct {
    int source;
    float r, g, b;
    int leftRightX, topBottomY;  // -1: computed here from the gray value
    const char* what;
  } cases[] = {
      {kAverage, 1, 1, 1, 7, 4, "Average white is 0.99999893: column Wr - 2, row Hr - 2"},
      {kLuma, 1, 1, 1, 8, 5, "Luma white is 1: column Wr - 1"},
      {kLightness, 1, 1, 1, 8, 5, "Lightness white is 1"},
      {kAverage, 0, 0, 0, 0, 0, "black"},
      {kLuma, 0, 0, 0, 0, 0, "black"},
      {kLightness, 0, 0, 0, 0, 0, "black"},
      {kAverage, 2, 2, 2, 8, 5, "float gray above 1 reads as 1"},
      {kLuma, 1.5f, 3, 1, 8, 5, "float gray above 1 reads as 1"},
      {kLightness, -1, -2, -0.5f, 0, 0, "negative gray reads as 0"},
      {kAverage, -0.25f, 0.1f, 0, 0, 0, "slightly negative gray reads as 0"},
      {kAverage, 0.1f, 0.5f, 0.6f, -1, -1, "mid average"},
      {kLuma, 0.5f, 0.25f, 1, -1, -1, "mid luma"},
      {kLightness, 0.2f, 0.9f, 0.4f, -1, -1, "mid lightness"},
      {kLuma, 0.25f, 0.75f, 0.5f, -1, -1, "mid luma"},
  };
  for (const auto& c : cases) {
    const float gray = Gray(c.source, c.r, c.g, c.b);
    const int x = c.leftRightX >= 0 ? c.leftRightX : static_cast<int>(8.0f * gray);
    const int y = c.topBottomY >= 0 ? c.topBottomY : static_cast<int>(5.0f * gray);
    const PF_PixelFloat pixel{0.25f, c.r, c.g, c.b};
    ExpectPixel(Lookup(c.source, kLeftRight, ref.def(), pixel), {1, x / 16.0f, 1 / 16.0f, 0.75f},
                std::string(c.what) + " (Left-Right)");
    ExpectPixel(Lookup(c.source, kTopBottom, ref.def(), pixel), {1, 0, y / 16.0f, 0.75f},
                std::string(c.what) + " (Top-Bottom)");
  }
  // A NaN gray value clamps to 0 on Windows; on macOS it passes the clamp and lies outside the
  // reference, so the colour is black. Red keeps its NaN (0 x NaN).
  for (int lookup : {kLeftRight, kTopBottom}) {
    const PF_PixelFloat got = Lookup(kAverage, lookup, ref.def(), {0.25f, nan, 0.5f, 0.5f});
    if (kMac) {
      ExpectPixel(got, {1, nan, 0, 0}, "NaN gives black");
    } else {
      ExpectPixel(got, {1, nan, lookup == kLeftRight ? 1 / 16.0f : 0, 0.75f}, "NaN reads at 0");
    }
  }
}

TEST(ColorGray, OutsideTheReferenceTheColourIsOpaqueBlack) {
  World oneRow = Reference(9, 1), ref = Reference(9, 6);
  World none = World::NoPixels();
  PF_LayerDef claims = *none.def();
  claims.width = 9;
  claims.height = 6;
  const float m = FromBits(0x3E999999);
  const float keep = 1.0f - m;
  const PF_PixelFloat p{0.4f, 0.3f, 0.6f, 0.9f};
  // The mix at m: alpha towards 1, the colour towards (r, g, b).
  const auto mixed = [&](const PF_PixelFloat& px, float r, float g, float b) {
    return PF_PixelFloat{keep * px.alpha + m, keep * px.red + m * r, keep * px.green + m * g,
                         keep * px.blue + m * b};
  };
  const PF_PixelFloat black = mixed(p, 0, 0, 0);
  for (int source : {kAverage, kLuma, kLightness}) {
    ExpectPixel(Lookup(source, kLeftRight, oneRow.def(), p, m), black, "Left-Right, one row");
    ExpectPixel(Lookup(source, kLeftRight, &claims, p, m), black, "Left-Right, no pixels");
    ExpectPixel(Lookup(source, kTopBottom, &claims, p, m), black, "Top-Bottom, no pixels");
  }
  // Top-Bottom of a one-row reference reads its row 0, column 0.
  ExpectPixel(Lookup(kLuma, kTopBottom, oneRow.def(), p, m), mixed(p, 0, 0, 0.75f),
              "Top-Bottom, one row");
  // The general mix: alpha towards 1, colour towards the reference, nothing clamped.
  const PF_PixelFloat q{0.5f, 1.5f, 0.25f, -0.5f};
  const int x = static_cast<int>(8.0f * Gray(kLightness, q.red, q.green, q.blue));
  ExpectPixel(Lookup(kLightness, kLeftRight, ref.def(), q, m),
              mixed(q, x / 16.0f, 1 / 16.0f, 0.75f), "mix");
  ExpectPixel(Lookup(kLightness, kLeftRight, ref.def(), q, 0), q, "Mix 0 leaves the pixel");
}

TEST(ColorGray, ReferenceIsReadInItsFramesChannelOrder) {
  // Premiere Pro's BGRA reference: red is the reference's red, not another channel.
  const struct {
    Layout layout;
    const RoutineSet& routines;
    float scale;
  } frames[] = {{Layout::Bgra8, kRoutinesBgra8, FromBits(0x3B808081)},
                {Layout::BgraFloat, kRoutinesBgraFloat, 1.0f / 256},
                {Layout::Argb16, kRoutinesArgb16, FromBits(0x38000000)}};
  for (const auto& f : frames) {
    World ref(f.layout, 2, 2);
    const double unit = hostsim::IsFloat(f.layout) ? 1.0 / 256 : 1;
    ref.Set(0, 1, {200 * unit, 40 * unit, 80 * unit, 120 * unit});
    ExpectPixel(Lookup(kAverage, kLeftRight, ref.def(), {1, 0, 0, 0}, 1, f.routines),
                {1, 40 * f.scale, 80 * f.scale, 120 * f.scale}, hostsim::LayoutName(f.layout));
  }
}

}  // namespace
