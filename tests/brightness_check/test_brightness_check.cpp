// Brightness Check's parameter copy and per-pixel marking, in the arithmetic variant this binary
// is built with; and overlapping renders of one instance, each with its own thresholds.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "effects/brightness_check/brightness_check.h"
#include "tests/blending/float_expect.h"
#include "hostsim/host.h"
#include "hostsim/session.h"

extern "C" PF_Err EffectMain(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

using namespace tavu;
using tavu::brightness_check::Effect;
using tavu::brightness_check::ParamBlock;

namespace {

constexpr bool kMac = tavu::testing::kMacArithmetic;
using tavu::testing::Bits;
using tavu::testing::FromBits;
using tavu::blending::test::SameFloat;

TEST(BrightnessCheck, ParamsAssignScalesPremiereThresholdsColoursAndMix) {
  const struct {
    A_long appl;
    double highlight, shadow, mix;
    uint32_t hWindows, hMacos, sWindows, sMacos, mWindows, mMacos;
  } cases[] = {
      // After Effects takes the thresholds as they are.
      {PF_APPL_ID_AFTER_EFFECTS, 1, 0, 100, 0x3F800000, 0x3F800000, 0, 0, 0x3F800000, 0x3F800000},
      {PF_APPL_ID_AFTER_EFFECTS, 0.3, 128, 30, 0x3E99999A, 0x3E99999A, 0x43000000, 0x43000000,
       0x3E999999, 0x3E99999A},
      // Premiere Pro's 0..255: 255 is exactly 1, 128 is 0.50196081 in both builds, 51 differs.
      {PF_APPL_ID_PREMIERE, 255, 128, 0, 0x3F800000, 0x3F800000, 0x3F008081, 0x3F008081, 0, 0},
      {PF_APPL_ID_PREMIERE, 51, 3, 10, 0x3E4CCCCE, 0x3E4CCCCD, 0x3C40C0C2, 0x3C40C0C1, 0x3DCCCCCC,
       0x3DCCCCCD},
  };
  for (const auto& c : cases) {
    PF_InData in{};
    in.appl_id = c.appl;
    PF_ParamDef defs[6];
    std::memset(defs, 0, sizeof defs);
    defs[1].u.fs_d.value = c.highlight;
    defs[2].u.fs_d.value = c.shadow;
    defs[3].u.cd.value = PF_Pixel{255, 128, 0, 1};
    defs[4].u.cd.value = PF_Pixel{1, 0, 255, 128};
    defs[5].u.fs_d.value = c.mix;
    PF_ParamDef* table[6] = {nullptr, &defs[1], &defs[2], &defs[3], &defs[4], &defs[5]};
    ParamBlock block{};
    RenderData rd{};
    rd.paramBlock = &block;
    ASSERT_EQ(Effect::ParamsAssign(&in, nullptr, table, nullptr, nullptr, &rd), PF_Err_NONE);
    const std::string what = std::to_string(c.highlight) + "/" + std::to_string(c.shadow);
    EXPECT_EQ(Bits(block.highlightClamp), kMac ? c.hMacos : c.hWindows) << what;
    EXPECT_EQ(Bits(block.shadowClamp), kMac ? c.sMacos : c.sWindows) << what;
    EXPECT_EQ(Bits(block.mix), kMac ? c.mMacos : c.mWindows) << what;
    // Channels times the float nearest 1/255: 255 is 1, 128 0.50196081, 1 is 0x3B808081.
    using Argb = std::array<uint32_t, 4>;
    const auto bits = [](const PF_PixelFloat& p) {
      return Argb{Bits(p.alpha), Bits(p.red), Bits(p.green), Bits(p.blue)};
    };
    EXPECT_EQ(bits(block.highlightColor), (Argb{0x3F800000u, 0x3F008081u, 0u, 0x3B808081u}));
    EXPECT_EQ(bits(block.shadowColor), (Argb{0x3B808081u, 0u, 0x3F800000u, 0x3F008081u}));
  }
}

// The defaults' colours: highlight red, shadow blue.
constexpr PF_PixelFloat kRed{1, 1, 0, 0}, kBlue{1, 0, 0, 1};

PF_PixelFloat Mark(A_long bits, PF_PixelFloat pixel, float highlight, float shadow,
                   float mix = 1.0f) {
  ParamBlock block{highlight, shadow, kRed, kBlue, mix};
  RenderData rd{};
  rd.paramBlock = &block;
  rd.bitsPerChannel = bits;
  Effect::Process(0, 0, &pixel, &rd);
  return pixel;
}

void ExpectRgbOpaque(const PF_PixelFloat& got, float red, float green, float blue,
                     const std::string& what) {
  EXPECT_TRUE(SameFloat(got.red, red)) << what << ": red";
  EXPECT_TRUE(SameFloat(got.green, green)) << what << ": green";
  EXPECT_TRUE(SameFloat(got.blue, blue)) << what << ": blue";
  EXPECT_EQ(Bits(got.alpha), 0x3F800000u) << what << ": alpha is always 1";
}

TEST(BrightnessCheck, LumaWeightsFollowTheDepth) {
  // A pure primary's luma is exactly its weight: 8- and 16-bit frames weigh by 0.2125, 0.7154,
  // 0.0721, float frames by 0.299, 0.587, 0.114. A threshold at the weight marks the pixel, the
  // next float above it does not.
  const uint32_t weights709[3] = {0x3E59999A, 0x3F372474, 0x3D93A92A};
  const uint32_t weights601[3] = {0x3E991687, 0x3F1645A2, 0x3DE978D5};
  for (A_long bits : {8, 16, 32}) {
    for (int c = 0; c < 3; ++c) {
      const float w = FromBits(bits == 32 ? weights601[c] : weights709[c]);
      const PF_PixelFloat p{0.5f, c == 0 ? 1.0f : 0.0f, c == 1 ? 1.0f : 0.0f, c == 2 ? 1.0f : 0.0f};
      const std::string what = std::to_string(bits) + " bits, channel " + std::to_string(c);
      const float above = std::nextafter(w, 2.0f);
      ExpectRgbOpaque(Mark(bits, p, w, 0), 1, 0, 0, what + " at the highlight threshold");
      ExpectRgbOpaque(Mark(bits, p, above, 0), p.red, p.green, p.blue, what + " below it");
      ExpectRgbOpaque(Mark(bits, p, 1, w), 0, 0, 1, what + " at the shadow threshold");
      ExpectRgbOpaque(Mark(bits, p, 1, std::nextafter(w, 0.0f)), p.red, p.green, p.blue,
                      what + " above the shadow threshold");
    }
  }
}

TEST(BrightnessCheck, MarksByThresholdsHighlightFirst) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float below1 = FromBits(0x3F7FFFFF);  // 0.99999994
  const PF_PixelFloat white{1, 1, 1, 1}, black{0, 0, 0, 0}, mid{0.25f, 0.5f, 0.5f, 0.5f};
  const struct {
    A_long bits;
    PF_PixelFloat pixel;
    float highlight, shadow;
    PF_PixelFloat want;  // only red, green, blue are compared; alpha is always 1
    const char* what;
  } cases[] = {
      // White's luma is 0.99999994 with the 8/16-bit weights (red and green summed first),
      // exactly 1 with the float weights.
      {8, white, 1, 0, white, "8-bit white is not a highlight"},
      {16, white, 1, 0, white, "16-bit white is not a highlight"},
      {32, white, 1, 0, kRed, "float white is a highlight"},
      {8, white, below1, 0, kRed, "8-bit white at a threshold of its luma"},
      {16, white, below1, 0, kRed, "16-bit white at a threshold of its luma"},
      {8, black, 1, 0, kBlue, "black is a shadow"},
      {32, black, 1, 0, kBlue, "float black is a shadow"},
      {8, mid, 1, 0, mid, "mid tones keep their colour"},
      {32, mid, 0.2f, 0.8f, kRed, "both thresholds crossed: the highlight wins"},
      {8, white, below1, below1, kRed, "both thresholds equal to the luma"},
      {32, white, 1, 1, kRed, "float white at both thresholds"},
      {8, white, 1, below1, kBlue, "shadow threshold equal to the luma"},
      {32, {1, 2, 2, 2}, 1, 0, kRed, "float above 1"},
      {32, {1, -1, -1, -1}, 1, 0, kBlue, "float below 0"},
      {32, {0, 0.5f, 0.25f, 0.75f}, 1, 0, {0, 0.5f, 0.25f, 0.75f}, "transparent, unmarked"},
  };
  for (const auto& c : cases) {
    ExpectRgbOpaque(Mark(c.bits, c.pixel, c.highlight, c.shadow), c.want.red, c.want.green,
                    c.want.blue, c.what);
  }
  // A NaN luma fails the highlight test; the Windows shadow test (not above the threshold) then
  // holds, the macOS one (threshold at or above the luma) does not.
  const PF_PixelFloat got = Mark(32, {1, nan, 0.25f, 0.5f}, 1, 0);
  if (kMac) {
    ExpectRgbOpaque(got, nan, 0.25f, 0.5f, "NaN keeps its colour");
  } else {
    ExpectRgbOpaque(got, nan, 0, 1, "NaN takes the shadow colour");  // 0 x NaN stays NaN in red
  }
}

TEST(BrightnessCheck, ColourWeightIsDerivedFromThePixelWeight) {
  // Mix 30 as each build stores it; the colour's weight h = 1 - (1 - mix): 0.29999995 on
  // Windows (not the stored 0.29999998), 0.3 on macOS.
  const float mix = FromBits(kMac ? 0x3E99999A : 0x3E999999);
  const float h = FromBits(kMac ? 0x3E99999A : 0x3E999998);
  const float g = 1.0f - mix;
  const PF_PixelFloat p{0.5f, 0.1f, 0.2f, 0.05f};  // luma below 0.3
  ExpectRgbOpaque(Mark(8, p, 1, 0.3f, mix), h * 0 + g * p.red, h * 0 + g * p.green,
                  h * 1 + g * p.blue, "shadow at Mix 30");
  ExpectRgbOpaque(Mark(32, p, 0.1f, 0, mix), h * 1 + g * p.red, h * 0 + g * p.green,
                  h * 0 + g * p.blue, "highlight at Mix 30");
  EXPECT_EQ(Bits(Mark(8, {0, 0, 0, 0}, 1, 0, mix).blue), Bits(h)) << "black's blue is h itself";
  ExpectRgbOpaque(Mark(32, p, 0, 1, 0), p.red, p.green, p.blue, "Mix 0 keeps the colour");
}

constexpr A_long kW = 64, kH = 6;

TEST(BrightnessCheck, OverlappingRendersOfOneInstanceEachUseTheirOwnThresholds) {
  // One instance in each host, renders on eight threads at once (Premiere Pro shares the
  // instance's sequence data with every render) with rows on several threads: every render's
  // highlight threshold is its own, k / 64, so column x is marked exactly when x >= k.
  for (hostsim::HostApp app : {hostsim::HostApp::AfterEffects, hostsim::HostApp::Premiere}) {
    const bool premiere = app == hostsim::HostApp::Premiere;
    const hostsim::Layout layout =
        premiere ? hostsim::Layout::BgraFloat : hostsim::Layout::ArgbFloat;
    hostsim::Host host(app);
    host.render().iterate.set_threads(3);
    hostsim::Session session(host, EffectMain);
    ASSERT_EQ(session.Setup(), PF_Err_NONE);
    std::atomic<int> wrong{0}, failed{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
      threads.emplace_back([&, t] {
        for (int i = 0; i < 8; ++i) {
          const int k = (t * 8 + i) % kW;
          hostsim::World input(layout, kW, kH), output(layout, kW, kH);
          // Gray (x + 0.5) / 64: its luma lies half a step from every threshold.
          input.Fill([](A_long x, A_long) {
            const double v = (x + 0.5) / kW;
            return hostsim::Channels{1, v, v, v};
          });
          hostsim::RenderRequest r{&input, &output, i % 2 == 1};
          PF_ParamDef highlight = session.Param(brightness_check::kHighlightClamp);
          highlight.u.fs_d.value = (premiere ? 255.0 : 1.0) * k / kW;
          r.params = {{brightness_check::kHighlightClamp, highlight}};
          if (session.Render(r) != PF_Err_NONE) ++failed;
          for (A_long y = 0; y < kH; ++y) {
            for (A_long x = 0; x < kW; ++x) {
              const double v = (x + 0.5) / kW;
              const hostsim::Channels want =
                  x >= k ? hostsim::Channels{1, 1, 0, 0} : hostsim::Channels{1, v, v, v};
              if (output.Get(x, y) != want) ++wrong;
            }
          }
        }
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failed.load(), 0);
    EXPECT_EQ(wrong.load(), 0) << (premiere ? "Premiere Pro" : "After Effects");
    EXPECT_EQ(host.render().params.Outstanding(), 0);
    EXPECT_EQ(session.Setdown(), PF_Err_NONE);
  }
}

}  // namespace
