// Combine RGBA's parameter copy and per-pixel routing, in the arithmetic variant this binary is
// built with. Expected values are literals or written out here, never taken from the effect.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "effects/combine_rgba/combine_rgba.h"
#include "framework/pixel_access.h"
#include "hostsim/world.h"
#include "tests/blending/float_expect.h"

using namespace tavu;
using tavu::combine_rgba::Effect;
using tavu::combine_rgba::ParamBlock;
using tavu::hostsim::Channels;
using tavu::hostsim::Layout;
using tavu::hostsim::World;

namespace {

constexpr bool kMac = tavu::testing::kMacArithmetic;
using tavu::testing::Bits;
using tavu::testing::FromBits;
using tavu::blending::test::ExpectPixel;

// A render of the effect as the framework runs it: the checked-out definitions (popup values
// red, green, blue, alpha), this render's block and the readers of the frame's layout.
struct Render {
  Render(const PF_LayerDef& input2, std::array<A_long, 4> popups, double mix,
         const RoutineSet& routines = kRoutinesArgbFloat) {
    std::memset(defs, 0, sizeof defs);
    defs[1].u.ld = input2;
    for (int i = 0; i < 4; ++i) defs[2 + i].u.pd.value = popups[i];
    defs[6].u.fs_d.value = mix;
    for (int i = 0; i < 7; ++i) table[i] = &defs[i];
    rd.paramBlock = &block;
    RecordRoutines(&rd, routines);
    EXPECT_EQ(Effect::ParamsAssign(nullptr, nullptr, table, nullptr, nullptr, &rd), PF_Err_NONE);
  }
  PF_PixelFloat Run(PF_PixelFloat p, int x = 1, int y = 1) const {
    Effect::Process(x, y, &p, &rd);
    return p;
  }
  PF_ParamDef defs[7];
  PF_ParamDef* table[7];
  ParamBlock block{};
  RenderData rd{};
};

TEST(CombineRgba, ParamsAssignStoresCodesLayerAndMixFactor) {
  World input2(Layout::ArgbFloat, 2, 2);
  const struct {
    double mix;
    uint32_t windows, macos;
  } mixes[] = {{0, 0, 0},
               {10, 0x3DCCCCCC, 0x3DCCCCCD},  // 0.099999994 against 0.1
               {30, 0x3E999999, 0x3E99999A},
               {50, 0x3F000000, 0x3F000000},
               {100, 0x3F800000, 0x3F800000}};
  for (const auto& m : mixes) {
    Render r(*input2.def(), {5, 1, 8, 3}, m.mix);
    EXPECT_EQ(Bits(r.block.mix), kMac ? m.macos : m.windows) << "Mix " << m.mix;
    EXPECT_EQ(r.block.redSource, 4);
    EXPECT_EQ(r.block.greenSource, 0);
    EXPECT_EQ(r.block.blueSource, 7);
    EXPECT_EQ(r.block.alphaSource, 2);
    EXPECT_EQ(r.block.input2, &r.defs[1].u.ld) << "the definition of this render, not a copy";
  }
  Render r(*input2.def(), {1, 2, 3, 4}, 100);
  r.rd.paramBlock = nullptr;
  EXPECT_EQ(Effect::ParamsAssign(nullptr, nullptr, r.table, nullptr, nullptr, &r.rd),
            PF_Err_INTERNAL_STRUCT_DAMAGED);
}

TEST(CombineRgba, RoutesEachChannelFromTheSavedValues) {
  const PF_PixelFloat own{0.125f, 0.25f, 0.375f, 0.5f};  // alpha, red, green, blue
  World input2(Layout::ArgbFloat, 3, 3);
  input2.Set(1, 1, {0.625, 0.75, 0.875, 1.0});
  const float oA = 0.125f, oR = 0.25f, oG = 0.375f, oB = 0.5f;
  const float iA = 0.625f, iR = 0.75f, iG = 0.875f, iB = 1.0f;
  // Popup values (red, green, blue, alpha) and the result (alpha, red, green, blue) at Mix 100.
  const struct {
    std::array<A_long, 4> popups;
    PF_PixelFloat want;
    const char* what;
  } cases[] = {
      {{1, 2, 3, 4}, {oA, oR, oG, oB}, "defaults"},
      {{3, 2, 1, 4}, {oA, oB, oG, oR}, "red from blue and blue from red"},
      {{2, 1, 3, 4}, {oA, oG, oR, oB}, "red from green and green from red"},
      {{4, 4, 4, 4}, {oA, oA, oA, oA}, "all alpha"},
      {{4, 3, 2, 1}, {oR, oA, oB, oG}, "all reversed"},
      {{5, 6, 7, 8}, {iA, iR, iG, iB}, "all from Input2"},
      {{8, 7, 6, 5}, {iR, iA, iB, iG}, "Input2 reversed"},
      {{8, 8, 8, 1}, {oR, iA, iA, iA}, "Input2 alpha everywhere, alpha from own red"},
      {{0, 9, 100, -7}, {oA, oR, oG, oB}, "codes outside 0..7 leave the channel"},
      {{9, 5, 0, 8}, {iA, oR, iR, oB}, "some codes outside, some inside"},
  };
  for (const auto& c : cases) {
    ExpectPixel(Render(*input2.def(), c.popups, 100).Run(own), c.want, c.what);
  }
}

TEST(CombineRgba, MixesEachChannelWithTheUnchangedPixel) {
  const PF_PixelFloat own{0.8f, 0.1f, 0.6f, 0.3f};
  World input2(Layout::ArgbFloat, 3, 3);
  input2.Set(1, 1, {0.05, 0.7, 0.9, 0.45});
  // Red from blue, green from Input2 green, blue from red, alpha from Input2 red.
  const std::array<float, 4> routed{0.7f, 0.3f, 0.9f, 0.1f};  // alpha, red, green, blue
  const struct {
    double mix;
    uint32_t windows, macos;
  } mixes[] = {{0, 0, 0},
               {10, 0x3DCCCCCC, 0x3DCCCCCD},
               {30, 0x3E999999, 0x3E99999A},
               {50, 0x3F000000, 0x3F000000},
               {67.5, 0x3F2CCCCD, 0x3F2CCCCD}};
  for (const auto& m : mixes) {
    const float f = FromBits(kMac ? m.macos : m.windows);
    const float keep = 1.0f - f;
    const PF_PixelFloat want{keep * own.alpha + f * routed[0], keep * own.red + f * routed[1],
                             keep * own.green + f * routed[2], keep * own.blue + f * routed[3]};
    const PF_PixelFloat got = Render(*input2.def(), {3, 6, 1, 5}, m.mix).Run(own);
    ExpectPixel(got, want, "mix");
    if (m.mix == 0) ExpectPixel(got, own, "Mix 0 leaves the pixel");
  }
}

TEST(CombineRgba, Input2IsReadInsideItsOwnSizeOnly) {
  // Input2 is 3 wide and 2 high; the layer is larger. Red and alpha come from Input2.
  World input2(Layout::ArgbFloat, 3, 2);
  input2.Fill([](A_long x, A_long y) { return Channels{0.5 + x * 0.125, 0.25 + y * 0.25, 0, 0}; });
  const PF_PixelFloat own{0.9f, 0.8f, 0.7f, 0.6f};
  const Render r(*input2.def(), {5, 2, 3, 8}, 100);
  for (int y = -1; y <= 3; ++y) {
    for (int x = -1; x <= 4; ++x) {
      const bool inside = x >= 0 && x < 3 && y >= 0 && y < 2;
      const float alpha = inside ? 0.5f + x * 0.125f : 0.0f;
      const float red = inside ? 0.25f + y * 0.25f : 0.0f;
      ExpectPixel(r.Run(own, x, y), {alpha, red, 0.7f, 0.6f},
                  "x " + std::to_string(x) + " y " + std::to_string(y));
    }
  }
  EXPECT_TRUE(input2.OutsideIntact());
}

TEST(CombineRgba, AnInput2WithoutPixelsIsZeroWhateverSizeItReports) {
  World none = World::NoPixels();
  PF_LayerDef claims = *none.def();
  claims.width = 64;
  claims.height = 64;
  const PF_PixelFloat own{0.9f, 0.8f, 0.7f, 0.6f};
  ExpectPixel(Render(claims, {5, 6, 7, 8}, 100).Run(own, 3, 3), {0, 0, 0, 0}, "no pixels");
  ExpectPixel(Render(claims, {8, 2, 3, 8}, 50).Run(own, 0, 0), {0.45f, 0.4f, 0.7f, 0.6f},
              "half of red and alpha from no pixels");
}

TEST(CombineRgba, Input2ChannelsAreTheLayersOwnInEveryFrameOrder) {
  // The stored channels alpha 51, red 102, green 153, blue 204 (16-bit: times 128, floats: / 256).
  const float inv255 = FromBits(0x3B808081), inv32768 = FromBits(0x38000000);
  const struct {
    Layout layout;
    const RoutineSet& routines;
    double scale;
    float toWorking;
  } frames[] = {
      {Layout::Argb8, kRoutinesArgb8, 1, inv255},
      {Layout::Argb16, kRoutinesArgb16, 128, inv32768},
      {Layout::ArgbFloat, kRoutinesArgbFloat, 1.0 / 256, 1.0f},
      {Layout::Bgra8, kRoutinesBgra8, 1, inv255},  // Premiere Pro's frames
      {Layout::BgraFloat, kRoutinesBgraFloat, 1.0 / 256, 1.0f},
  };
  for (const auto& f : frames) {
    World input2(f.layout, 2, 2);
    input2.Set(1, 0, {51 * f.scale, 102 * f.scale, 153 * f.scale, 204 * f.scale});
    auto working = [&](int v) { return static_cast<float>(v * f.scale) * f.toWorking; };
    const PF_PixelFloat own{0.5f, 0.5f, 0.5f, 0.5f};
    ExpectPixel(Render(*input2.def(), {5, 6, 7, 8}, 100, f.routines).Run(own, 1, 0),
                {working(51), working(102), working(153), working(204)},
                hostsim::LayoutName(f.layout));
  }
}

}  // namespace
