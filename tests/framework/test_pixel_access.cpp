// Readers, writers and single-pixel converters: conversions to the bit, channel placement, the
// wrap of out-of-range values, and addressing (negative rowbytes, offsets past 2^31).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "framework/pixel_access.h"
#include "hostsim/world.h"
#include "tests/support/far_memory.h"
#include "tests/support/float_bits.h"

using namespace tavu;
using tavu::hostsim::Layout;
using tavu::hostsim::World;

namespace {

using tavu::testing::Bits;

// What a single-pixel converter makes of s.
template <class Src>
PF_PixelFloat Converted(void (*convert)(const Src*, PF_PixelFloat*), Src s) {
  PF_PixelFloat d;
  convert(&s, &d);
  return d;
}

TEST(PixelConversion, IntoFloatMultipliesByTheExactConstants) {
  // Expected bit patterns: 1/255 rounded to float is 0x3B808081; times 128 only the exponent
  // moves (0x3F008081); 2^-15 is 0x38000000.
  const struct {
    const char* what;
    PF_PixelFloat got;
    uint32_t alpha, red, green, blue;
  } cases[] = {
      {"8-bit 1, 128, 255, 0", Converted(Pixel8ToFloat, PF_Pixel{1, 128, 255, 0}), 0x3B808081,
       0x3F008081, 0x3F800000, 0},
      {"8-bit BGRA reversed", Converted(Pixel8BGRAToFloat, PixelBGRA8{0, 255, 128, 1}),
       0x3B808081, 0x3F008081, 0x3F800000, 0},
      {"16-bit 1, 16384, 32768, 65535",
       Converted(Pixel16ToFloat, PF_Pixel16{1, 16384, 32768, 65535}), 0x38000000, 0x3F000000,
       0x3F800000, 0x3FFFFF00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Bits(c.got.alpha), c.alpha) << c.what;
    EXPECT_EQ(Bits(c.got.red), c.red) << c.what;
    EXPECT_EQ(Bits(c.got.green), c.green) << c.what;
    EXPECT_EQ(Bits(c.got.blue), c.blue) << c.what;
  }
}

TEST(PixelConversion, EveryStoredValueSurvivesTheRoundTrip) {
  World w8(Layout::Argb8, 1, 1), b8(Layout::Bgra8, 1, 1), w16(Layout::Argb16, 1, 1);
  for (int v = 0; v <= 255; ++v) {
    const A_u_char u = static_cast<A_u_char>(v), n = static_cast<A_u_char>(255 - v);
    PF_Pixel in{u, n, u, n}, out{};
    PF_PixelFloat f;
    Pixel8ToFloat(&in, &f);
    FloatToPixel8(&f, &out);
    EXPECT_EQ(std::memcmp(&in, &out, 4), 0) << v;

    w8.Set(0, 0, {double(v), double(255 - v), double(v), double(255 - v)});
    GetPixel8(w8.def(), 0, 0, &f);
    SetPixel8(w8.def(), 0, 0, &f);
    EXPECT_EQ(w8.Get(0, 0),
              (hostsim::Channels{double(v), double(255 - v), double(v), double(255 - v)}));
    b8.Set(0, 0, {double(v), double(255 - v), double(v), double(255 - v)});
    GetPixel8_BGRA(b8.def(), 0, 0, &f);
    SetPixel8_BGRA(b8.def(), 0, 0, &f);
    EXPECT_EQ(b8.Get(0, 0),
              (hostsim::Channels{double(v), double(255 - v), double(v), double(255 - v)}));
  }
  for (int v = 0; v <= 32768; ++v) {
    const A_u_short u = static_cast<A_u_short>(v), n = static_cast<A_u_short>(32768 - v);
    PF_Pixel16 in{u, n, u, n}, out{};
    PF_PixelFloat f;
    Pixel16ToFloat(&in, &f);
    FloatToPixel16(&f, &out);
    ASSERT_EQ(std::memcmp(&in, &out, 8), 0) << v;
    w16.Set(0, 0, {double(v), double(32768 - v), double(v), 0});
    GetPixel16(w16.def(), 0, 0, &f);
    SetPixel16(w16.def(), 0, 0, &f);
    ASSERT_EQ(w16.Get(0, 0), (hostsim::Channels{double(v), double(32768 - v), double(v), 0})) << v;
  }
}

TEST(PixelConversion, WritersAndConvertersTruncateAndWrapOutOfRange) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  // value, 8-bit store, 16-bit store: the product truncated toward zero, low bits kept.
  const struct {
    float value;
    int byte, word;
  } cases[] = {
      {0.5f, 127, 16384},  {1.0f, 255, 32768},  {0.99999994f, 254, 32767},
      {1.5f, 126, 49152},  {-0.5f, 129, 49152}, {2.0f, 254, 0},
      {-0.001f, 0, 65504}, {nan, 0, 0},         {inf, 0, 0},
      {-inf, 0, 0},        {1e30f, 0, 0},       {300.0f, 212, 0},
  };
  World w8(Layout::Argb8, 2, 2), b8(Layout::Bgra8, 2, 2), w16(Layout::Argb16, 2, 2);
  for (const auto& c : cases) {
    const PF_PixelFloat p{c.value, c.value, 0.0f, 1.0f};
    PF_Pixel p8;
    FloatToPixel8(&p, &p8);
    EXPECT_EQ(p8.alpha, c.byte) << c.value;
    EXPECT_EQ(p8.red, c.byte) << c.value;
    PixelBGRA8 q8;
    FloatToPixel8BGRA(&p, &q8);
    EXPECT_EQ(q8.alpha, c.byte) << c.value;
    PF_Pixel16 p16;
    FloatToPixel16(&p, &p16);
    EXPECT_EQ(p16.alpha, c.word) << c.value;
    SetPixel8(w8.def(), 1, 1, &p);
    SetPixel8_BGRA(b8.def(), 1, 1, &p);
    SetPixel16(w16.def(), 1, 1, &p);
    EXPECT_EQ(w8.Get(1, 1), (hostsim::Channels{double(c.byte), double(c.byte), 0, 255})) << c.value;
    EXPECT_EQ(b8.Get(1, 1), (hostsim::Channels{double(c.byte), double(c.byte), 0, 255})) << c.value;
    EXPECT_EQ(w16.Get(1, 1), (hostsim::Channels{double(c.word), double(c.word), 0, 32768}))
        << c.value;
  }
  EXPECT_TRUE(w8.OutsideIntact() && b8.OutsideIntact() && w16.OutsideIntact());
}

TEST(PixelConversion, ChannelsLandInEachLayoutsMemoryOrder) {
  const PF_PixelFloat working{1.0f, 0.5f, 0.999f, 0.0f};
  struct {
    Layout layout;
    SetPixelFunc set;
    unsigned char bytes[4];
  } writes[] = {
      {Layout::Argb8, SetPixel8, {255, 127, 254, 0}},
      {Layout::Bgra8, SetPixel8_BGRA, {0, 254, 127, 255}},
  };
  for (auto& w : writes) {
    World world(w.layout, 3, 2);
    w.set(world.def(), 2, 1, &working);
    EXPECT_EQ(std::memcmp(world.PixelAddress(2, 1), w.bytes, 4), 0)
        << hostsim::LayoutName(w.layout);
  }
  PixelBGRA8 bgra;
  FloatToPixel8BGRA(&working, &bgra);
  EXPECT_EQ(std::memcmp(&bgra, "\x00\xFE\x7F\xFF", 4), 0);

  // Readers: the same logical pixel from each layout's memory order.
  World a8(Layout::Argb8, 1, 1), q8(Layout::Bgra8, 1, 1), a16(Layout::Argb16, 1, 1),
      af(Layout::ArgbFloat, 1, 1), qf(Layout::BgraFloat, 1, 1);
  std::memcpy(a8.PixelAddress(0, 0), "\xFF\x80\x00\x40", 4);
  std::memcpy(q8.PixelAddress(0, 0), "\x40\x00\x80\xFF", 4);
  const A_u_short words[4] = {32768, 16384, 0, 32768};
  std::memcpy(a16.PixelAddress(0, 0), words, 8);
  const float memory[4] = {0.1f, 0.2f, 0.3f, 0.4f};
  std::memcpy(af.PixelAddress(0, 0), memory, 16);
  std::memcpy(qf.PixelAddress(0, 0), memory, 16);
  const struct {
    const char* what;
    GetPixelFunc get;
    const World& world;
    float alpha, red, green, blue;
  } reads[] = {
      {"GetPixel8", GetPixel8, a8, 1.0f, 0.50196081f, 0.0f, 0.25098041f},
      {"GetPixel8_BGRA", GetPixel8_BGRA, q8, 1.0f, 0.50196081f, 0.0f, 0.25098041f},
      {"GetPixel16", GetPixel16, a16, 1.0f, 0.5f, 0.0f, 1.0f},
      {"GetPixelFloat", GetPixelFloat, af, 0.1f, 0.2f, 0.3f, 0.4f},
      {"GetPixelFloat_BGRA", GetPixelFloat_BGRA, qf, 0.4f, 0.3f, 0.2f, 0.1f},
  };
  for (const auto& r : reads) {
    PF_PixelFloat out{-1, -1, -1, -1};
    r.get(r.world.def(), 0, 0, &out);
    EXPECT_EQ(Bits(out.alpha), Bits(r.alpha)) << r.what;
    EXPECT_EQ(Bits(out.red), Bits(r.red)) << r.what;
    EXPECT_EQ(Bits(out.green), Bits(r.green)) << r.what;
    EXPECT_EQ(Bits(out.blue), Bits(r.blue)) << r.what;
  }

  PF_PixelFloat fromBgra;
  PixelFloatBGRAToFloat(reinterpret_cast<const PixelBGRAFloat*>(memory), &fromBgra);
  EXPECT_EQ(fromBgra.alpha, 0.4f);
  EXPECT_EQ(fromBgra.blue, 0.1f);
  PixelBGRAFloat back;
  FloatToPixelFloatBGRA(&fromBgra, &back);
  EXPECT_EQ(std::memcmp(&back, memory, 16), 0);
  PF_PixelFloat copy;
  PixelFloatCopy(&fromBgra, &copy);
  EXPECT_EQ(std::memcmp(&copy, &fromBgra, 16), 0);
  World wf(Layout::BgraFloat, 1, 1);
  SetPixelFloat_BGRA(wf.def(), 0, 0, &fromBgra);
  EXPECT_EQ(std::memcmp(wf.PixelAddress(0, 0), memory, 16), 0);
}

TEST(PixelAddressing, RowsBottomUpAndOffsetsPastTwoGigabytes) {
  // A 16-bit world 30000 pixels wide without padding: row 10000 starts 2 400 000 000 bytes from
  // data, beyond a signed 32-bit product. Both directions, from one reservation.
  constexpr A_long kWidth = 30000, kRowBytes = kWidth * 8, kRow = 10000;
  constexpr std::size_t kFar = std::size_t{kRow} * kRowBytes;
  tavu::testing::FarMemory memory(kFar + 2 * kRowBytes);
  PF_LayerDef down{}, up{};
  down.width = up.width = kWidth;
  down.height = up.height = kRow + 1;
  down.rowbytes = kRowBytes;
  down.data = memory.base();
  up.rowbytes = -kRowBytes;
  up.data = memory.base() + kFar;  // row 0 lies last in memory, row 10000 at the start

  const A_u_short words[4] = {32768, 16384, 0, 8192};
  std::memcpy(memory.base() + kFar + 7 * 8, words, 8);
  PF_PixelFloat out{};
  GetPixel16(&down, 7, kRow, &out);
  EXPECT_EQ(out.alpha, 1.0f);
  EXPECT_EQ(out.red, 0.5f);
  EXPECT_EQ(out.blue, 0.25f);

  std::memcpy(memory.base() + 3 * 8, words, 8);
  out = PF_PixelFloat{};
  GetPixel16(&up, 3, kRow, &out);
  EXPECT_EQ(out.red, 0.5f);

  const PF_PixelFloat half{0.5f, 0.5f, 0.5f, 0.5f};
  SetPixel16(&down, 9, kRow, &half);
  SetPixel16(&up, 11, kRow, &half);
  A_u_short stored[2];
  std::memcpy(&stored[0], memory.base() + kFar + 9 * 8, 2);
  std::memcpy(&stored[1], memory.base() + 11 * 8, 2);
  EXPECT_EQ(stored[0], 16384);
  EXPECT_EQ(stored[1], 16384);
}

}  // namespace
