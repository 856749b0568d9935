// The Blending per-pixel routine and its parameter block, called directly: where the second
// layer's pixel comes from, Swap Inputs, the repetitions, the output channels and the final mix.
// Values are dyadic so every expectation is exact and worked by hand. Built in both arithmetic
// variants.
#include "effects/blending/blending.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "hostsim/world.h"
#include "tests/blending/float_expect.h"

namespace tavu::blending {
namespace {

using hostsim::Channels;
using hostsim::Layout;
using hostsim::World;
using namespace test;

// The second layer: 3 x 2 float ARGB, alpha 0.25 everywhere (never to be used), red and green
// telling the position apart. (0, 0) lies outside 0..1, as float layers may.
World SecondLayer() {
  World w(Layout::ArgbFloat, 3, 2);
  w.Fill([](A_long x, A_long y) {
    if (x == 0 && y == 0) return Channels{0.25, 1.5, -0.5, 0.5};
    return Channels{0.25, 0.125 * (x + 1), 0.125 * (y + 1), 0.875};
  });
  return w;
}

// Stands in the reader slot that matches the frame's channel order; refuses a world without
// pixels instead of dereferencing it.
void ReadFloatArgb(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out) {
  if (world->data == nullptr) {
    ADD_FAILURE() << "read from a world without pixels";
    *out = {kNaN, kNaN, kNaN, kNaN};
    return;
  }
  std::memcpy(out, static_cast<const char*>(world->data) + y * world->rowbytes + x * 16, 16);
}

// The alpha-red-green-blue slot scrambles Premiere Pro's BGRA second layers; Blending must not
// read it.
void WrongSlot(const PF_LayerDef*, int, int, PF_PixelFloat* out) {
  ADD_FAILURE() << "second layer read through AEPrem_GetPixel";
  *out = {kNaN, kNaN, kNaN, kNaN};
}

struct Settings {
  int32_t swap, channel, mode;
  float mix;
  int32_t intensity;
};

PF_PixelFloat RunProcess(const Settings& s, const PF_LayerDef* second, int x, int y,
                         PF_PixelFloat pixel) {
  ParamBlock block{s.swap, s.channel, s.mode, s.mix, s.intensity,
                   const_cast<PF_LayerDef*>(second)};
  RenderData rd{};
  rd.paramBlock = &block;
  rd.AE_GetPixel = ReadFloatArgb;
  rd.AEPrem_GetPixel = WrongSlot;
  Effect::Process(x, y, &pixel, &rd);
  return pixel;
}

// The layer's pixel in most cases, and the second layer's pixel at (2, 1), its far corner, as
// Process must see it: alpha replaced by 1.
constexpr PF_PixelFloat kP{0.5f, 0.25f, 0.5f, 0.75f};
constexpr PF_PixelFloat kS21{1.0f, 0.375f, 0.25f, 0.875f};

TEST(BlendingProcess, SecondLayerSwapChannelsAndMix) {
  const World layer = SecondLayer();
  PF_LayerDef noPixels{};  // a layer parameter naming no layer, reporting a size all the same
  noPixels.width = 3;
  noPixels.height = 2;

  struct Case {
    const char* what;
    Settings s;
    int x, y;
    PF_PixelFloat pixel, want;
    bool withoutPixels = false;
  };
  const Settings normal{0, kRGBA, kBlendNormal, 1.0f, 1};
  const Case cases[] = {
      {"Normal, mix 1, RGBA: the second layer's colour, alpha 1", normal, 2, 1, kP, kS21},
      {"clamped to 0..1", normal, 0, 0, kP, {1, 1, 0, 0.5f}},
      {"the mode reaches the kernel", {0, kRGBA, kBlendMultiply, 1.0f, 1}, 2, 1, kP,
       {1, 0.09375f, 0.125f, 0.65625f}},
      // Outside the second layer the blend runs against (0, 0, 0, 0).
      {"right of the layer", normal, 3, 0, kP, {1, 0, 0, 0}},
      {"below the layer", normal, 0, 2, kP, {1, 0, 0, 0}},
      {"left of the layer", normal, -1, 0, kP, {1, 0, 0, 0}},
      {"above the layer", normal, 0, -1, kP, {1, 0, 0, 0}},
      {"a layer without pixels", normal, 1, 1, kP, {1, 0, 0, 0}, true},
      {"outside, swapped: mix x Q", {1, kRGBA, kBlendNormal, 0.5f, 1}, 3, 0, kP,
       {0.5f, 0.0625f, 0.125f, 0.1875f}},
      // Mix 0 gives base exactly: the layer's own pixel, out-of-range values included...
      {"mix 0", {0, kRGBA, kBlendMultiply, 0.0f, 1}, 1, 1, {2, -0.5f, 1.5f, 0.25f},
       {2, -0.5f, 1.5f, 0.25f}},
      // ...or, swapped, the second layer with alpha 1 inside it and nothing outside it.
      {"mix 0, swapped", {1, kRGBA, kBlendMultiply, 0.0f, 1}, 2, 1, kP, kS21},
      {"mix 0, swapped, outside", {1, kRGBA, kBlendMultiply, 0.0f, 1}, 0, 2, kP, {0, 0, 0, 0}},
      {"mix 0, swapped, without pixels", {1, kRGBA, kBlendMultiply, 0.0f, 1}, 1, 1, kP,
       {0, 0, 0, 0}, true},
      {"swapped, mix 1: the layer's colour over the second layer", {1, kRGBA, kBlendNormal, 1, 1},
       2, 1, kP, {1, 0.25f, 0.5f, 0.75f}},
      // Swapped, the final mix takes the second layer as its unblended side (and its alpha).
      {"swapped, mix 0.5, RGB", {1, kRGB, kBlendNormal, 0.5f, 1}, 2, 1, kP,
       {1, 0.34375f, 0.3125f, 0.84375f}},
      // Each output choice takes its channels from the blend (1, .375, .25, .875), the rest from
      // the layer.
      {"RGB", {0, kRGB, kBlendNormal, 1, 1}, 2, 1, kP, {0.5f, 0.375f, 0.25f, 0.875f}},
      {"Red", {0, kRed, kBlendNormal, 1, 1}, 2, 1, kP, {0.5f, 0.375f, 0.5f, 0.75f}},
      {"Green", {0, kGreen, kBlendNormal, 1, 1}, 2, 1, kP, {0.5f, 0.25f, 0.25f, 0.75f}},
      {"Blue", {0, kBlue, kBlendNormal, 1, 1}, 2, 1, kP, {0.5f, 0.25f, 0.5f, 0.875f}},
      {"Alpha", {0, kAlpha, kBlendNormal, 1, 1}, 2, 1, kP, {1, 0.25f, 0.5f, 0.75f}},
      {"Alpha, mix 0.5: (1 - m) x alpha + m", {0, kAlpha, kBlendNormal, 0.5f, 1}, 2, 1, kP,
       {0.75f, 0.25f, 0.5f, 0.75f}},
      {"RGBA, mix 0.5", {0, kRGBA, kBlendNormal, 0.5f, 1}, 2, 1, kP,
       {0.75f, 0.28125f, 0.4375f, 0.78125f}},
      // A channel number no popup gives takes nothing from the blend.
      {"channel 6", {0, 6, kBlendNormal, 1, 1}, 2, 1, kP, kP},
      {"channel -1", {0, -1, kBlendNormal, 1, 1}, 2, 1, kP, kP},
      // Swapped, a NaN in the layer is the kernel's blend value: the Windows clamp stores 0,
      // the macOS clamp passes the NaN on to the output.
      {"NaN in the layer, swapped", {1, kRGBA, kBlendNormal, 1, 1}, 2, 1,
       {0.5f, kNaN, 0.5f, 0.75f}, {1, kMacBuild ? kNaN : 0.0f, 0.5f, 0.75f}},
      // Float frames: the kernel clamps (red 1.125 -> 1), the final mix does not, so the
      // layer's share keeps its excess, in alpha too.
      {"excess above 1 kept", {0, kRGB, kBlendNormal, 0.5f, 1}, 1, 0, {2, 2, 1.5f, 0.5f},
       {2, 1.5f, 1.15625f, 0.59375f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExpectPixel(RunProcess(c.s, c.withoutPixels ? &noPixels : layer.def(), c.x, c.y, c.pixel),
                c.want);
  }
}

// With Normal and mix m, n repetitions leave top + (1 - m)^n (base - top) before the final mix;
// the final mix then takes (1 - m) of base. m = 0.5 and 0.25 keep every step exact. The count
// stops at five whatever the host hands over.
TEST(BlendingProcess, IntensityFeedsTheResultBack) {
  const World layer = SecondLayer();
  const PF_PixelFloat base{1.0f, 0.75f, 0.125f, 0.5f};
  for (float m : {0.5f, 0.25f}) {
    for (int32_t n : {1, 2, 3, 4, 5, 6, 1000}) {
      SCOPED_TRACE("mix " + std::to_string(m) + ", intensity " + std::to_string(n));
      const double k = std::pow(1.0 - m, n < 5 ? n : 5);
      const auto channel = [&](double b, double top) {
        return static_cast<float>((1.0 - m) * b + m * (top + k * (b - top)));
      };
      const PF_PixelFloat got = RunProcess({0, kRGB, kBlendNormal, m, n}, layer.def(), 2, 1, base);
      ExpectPixel(got, {1.0f, channel(0.75, 0.375), channel(0.125, 0.25), channel(0.5, 0.875)});
    }
  }
}

// The final mix is ((1 - m) x base) + (m x Q) with 1 - m formed once; base + m (Q - base) rounds
// differently in every channel for these values.
TEST(BlendingProcess, FinalMixOperationOrder) {
  const World layer = SecondLayer();
  const float m = 0.3f, keep = 1.0f - m;
  const float base[4] = {0.02f, 0.16f, 0.08f, 0.04f};
  const float top[4] = {1.0f, 0.375f, 0.25f, 0.875f};  // the second layer at (2, 1)
  const PF_PixelFloat got = RunProcess({0, kRGBA, kBlendNormal, m, 1}, layer.def(), 2, 1,
                                       {base[0], base[1], base[2], base[3]});
  const float out[4] = {got.alpha, got.red, got.green, got.blue};
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE("channel " + std::to_string(c));
    // The kernel's result, in 0..1 here so its clamp changes nothing; its alpha is 1.
    const float q = c == 0 ? 1.0f : (keep * base[c]) + (m * top[c]);
    EXPECT_TRUE(SameFloat(out[c], (keep * base[c]) + (m * q)));
    EXPECT_FALSE(SameFloat(out[c], base[c] + m * (q - base[c])));
  }
}

// Every field from its parameter; "Mix" 10 is 10 x 0.01 in float on Windows (0.099999994) and
// 10 / 100 on macOS (0.1).
TEST(BlendingParamsAssign, FillsTheBlock) {
  PF_ParamDef defs[kParamCount + 1] = {};
  PF_ParamDef* params[kParamCount + 1];
  for (int i = 0; i <= kParamCount; ++i) params[i] = &defs[i];
  defs[kSwapInputs].u.bd.value = 1;
  defs[kBlendingMode].u.pd.value = 29;
  defs[kIntensity].u.sd.value = 4;
  defs[kOutputChannel].u.pd.value = 6;

  struct Case {
    double percent;
    uint32_t windows, macos;
  };
  const Case cases[] = {
      {10.0, 0x3DCCCCCC, 0x3DCCCCCD},
      {100.0, 0x3F800000, 0x3F800000},
      {0.0, 0x00000000, 0x00000000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("Mix " + std::to_string(c.percent));
    defs[kMix].u.fs_d.value = c.percent;
    ParamBlock block;
    std::memset(&block, 0xEE, sizeof block);
    RenderData rd{};
    rd.paramBlock = &block;
    ASSERT_EQ(Effect::ParamsAssign(nullptr, nullptr, params, nullptr, nullptr, &rd), PF_Err_NONE);
    EXPECT_EQ(Bits(block.mix), kMacBuild ? c.macos : c.windows);
    EXPECT_EQ(block.swapInputs, 1);
    EXPECT_EQ(block.blendMode, kBlendLuminosity);
    EXPECT_EQ(block.intensity, 4);
    EXPECT_EQ(block.outputChannel, kAlpha);
    EXPECT_EQ(block.input2, &defs[kInput2].u.ld);
  }

  RenderData noBlock{};
  EXPECT_EQ(Effect::ParamsAssign(nullptr, nullptr, params, nullptr, nullptr, &noBlock),
            PF_Err_INTERNAL_STRUCT_DAMAGED);
}

}  // namespace
}  // namespace tavu::blending
