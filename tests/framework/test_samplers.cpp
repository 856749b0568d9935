// The sub-pixel samplers: the 16.16 conversion, the scale and order of each layout, and the suite
// each call acquires and gives back.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>

#include "framework/pixel_access.h"
#include "hostsim/host.h"
#include "hostsim/render_services.h"
#include "hostsim/world.h"
#include "tests/support/host_checks.h"

using namespace tavu;
using namespace tavu::hostsim;
using tavu::testing::Throws;

namespace {

TEST(Samplers, CoordinatesRoundToSixteenSixteenFixedPoint) {
  const struct {
    float coordinate;
    PF_Fixed fixed;
  } cases[] = {
      {10.5f, 688128},      {-0.25f, -16384}, {0.3f, 19661},       {-0.3f, -19661},
      {0.7f, 45875},        {0x1p-17f, 1},    {-0x1p-17f, -1},     {3 * 0x1p-17f, 2},
      {-3 * 0x1p-17f, -2},  {0.0f, 0},        {-0.0f, 0},          {NAN, 0},
      {1e10f, INT_MAX},     {-1e10f, INT_MIN}, {32767.0f, 32767 * 65536},
  };
  Host host;
  World world(Layout::Argb8, 2, 2);
  RenderData rd{};
  rd.inData = &host.in_data;
  for (const auto& c : cases) {
    EXPECT_EQ(ToFixed(c.coordinate), c.fixed) << c.coordinate;
    PF_PixelFloat out;
    SamplePixel8(&rd, world.def(), c.coordinate, -c.coordinate, &out);
    const auto calls = host.render().sampling.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().x, c.fixed) << "passed to the host: " << c.coordinate;
    EXPECT_EQ(calls.back().src, world.def());
  }
}

TEST(Samplers, EachLayoutScalesAndOrdersLikeItsReader) {
  Host host;
  RenderData rd{};
  rd.inData = &host.in_data;
  World a8(Layout::Argb8, 3, 3), q8(Layout::Bgra8, 3, 3), a16(Layout::Argb16, 3, 3),
      af(Layout::ArgbFloat, 3, 3), qf(Layout::BgraFloat, 3, 3);
  std::memcpy(a8.PixelAddress(2, 1), "\xFF\x80\x01\x00", 4);
  std::memcpy(q8.PixelAddress(2, 1), "\x00\x01\x80\xFF", 4);
  const A_u_short words[4] = {32768, 16384, 1, 0};
  std::memcpy(a16.PixelAddress(2, 1), words, 8);
  const float floats[4] = {0.1f, 0.2f, 0.3f, 0.4f};
  std::memcpy(af.PixelAddress(2, 1), floats, 16);
  std::memcpy(qf.PixelAddress(2, 1), floats, 16);
  const struct {
    const char* what;
    SamplePixelFunc sample;
    World& world;
    PF_PixelFloat expected;
    int bits;
  } cases[] = {
      {"8", SamplePixel8, a8, {1.0f, 0.50196081f, 0.003921569f, 0.0f}, 8},
      {"8 BGRA", SamplePixel8_BGRA, q8, {1.0f, 0.50196081f, 0.003921569f, 0.0f}, 8},
      {"16", SamplePixel16, a16, {1.0f, 0.5f, 0x1p-15f, 0.0f}, 16},
      {"float", SamplePixelFloat, af, {0.1f, 0.2f, 0.3f, 0.4f}, 32},
      {"float BGRA", SamplePixelFloat_BGRA, qf, {0.4f, 0.3f, 0.2f, 0.1f}, 32},
  };
  for (const auto& c : cases) {
    host.ClearSuiteLog();
    PF_PixelFloat out{-1, -1, -1, -1};
    c.sample(&rd, c.world.def(), 2.0f, 1.0f, &out);
    EXPECT_EQ(std::memcmp(&out, &c.expected, sizeof out), 0)
        << c.what << ": " << out.alpha << " " << out.red << " " << out.green << " " << out.blue;
    EXPECT_EQ(host.render().sampling.Calls().back().bits, c.bits) << c.what;
    // A fresh holder per call: one acquisition, given back before the sampler returns.
    EXPECT_EQ(host.SuiteLog().size(), 2u) << c.what;
    EXPECT_EQ(host.OutstandingSuites(), 0) << c.what;
  }
  // Between pixel centres the host interpolates: half-way between 0 and 255 rounds to 128.
  std::memcpy(a8.PixelAddress(0, 0), "\x00\x00\x00\x00\xFF\xFF\xFF\xFF", 8);
  PF_PixelFloat mid;
  SamplePixel8(&rd, a8.def(), 0.5f, 0.0f, &mid);
  EXPECT_EQ(mid.alpha, 0.50196081f);
}

TEST(Samplers, AMissingSuiteRaises516AndLeavesTheOutputAlone) {
  Host host;
  World world(Layout::Argb16, 2, 2);
  PF_InData noBasic = host.in_data;
  noBasic.pica_basicP = nullptr;
  host.RemoveSuite(kPFSampling16Suite, 1);
  for (PF_InData* in : {&noBasic, &host.in_data}) {
    RenderData rd{};
    rd.inData = in;
    PF_PixelFloat out{7, 7, 7, 7};
    EXPECT_EQ(Throws([&] { SamplePixel16(&rd, world.def(), 0.5f, 0.5f, &out); }),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(out.alpha, 7.0f);
    EXPECT_EQ(host.OutstandingSuites(), 0);
  }
}

}  // namespace
