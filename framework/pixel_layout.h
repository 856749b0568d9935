// Pixel layouts and the conversions between a stored pixel and the working pixel PF_PixelFloat
// (alpha, red, green, blue). Every per-depth routine of the framework (row routines, readers,
// writers, samplers, converters) is written once over a PixelLayout; the five layouts the
// framework serves are the named instances at the bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/pf_effect.h"

namespace tavu {

// Premiere Pro's BGRA pixels. The member names match PF_Pixel's, so code written over a layout
// reads `alpha` of every layout alike and the struct alone fixes the order in memory.
struct PixelBGRA8 {
  A_u_char blue, green, red, alpha;
};
struct PixelBGRAFloat {
  PF_FpShort blue, green, red, alpha;
};

enum class ChannelOrder { ARGB, BGRA };

// Scale factors between a stored channel and the working value. Into float an integer channel is
// converted exactly and multiplied once by kToFloat (never divided): 0x3B808081 is the float
// nearest 1/255, 0x38000000 is 2^-15. Back out, the working value is multiplied by kFromFloat,
// which is also the channel's full scale.
template <class Channel>
struct ChannelScale;
template <>
struct ChannelScale<A_u_char> {
  static constexpr float kToFloat = 0x1.010102p-8f;  // bits 0x3B808081
  static constexpr float kFromFloat = 255.0f;
};
template <>
struct ChannelScale<A_u_short> {
  static constexpr float kToFloat = 0x1p-15f;  // bits 0x38000000
  static constexpr float kFromFloat = 32768.0f;
};

template <class Channel>
inline float ChannelToFloat(Channel v) {
  if constexpr (std::is_same_v<Channel, PF_FpShort>) {
    return v;
  } else {
    return static_cast<float>(v) * ChannelScale<Channel>::kToFloat;
  }
}

// The writers' and converters' way back: the product truncated toward zero to 64 bits, its low
// bits stored, so out-of-range values wrap (1.5 stores 126 in 8 bits). A product that no 64-bit
// integer holds (NaN, infinities, beyond +-2^63) stores 0: that is what the x86 conversion yields
// (its "integer indefinite" has zero low bits), written here without undefined behaviour.
template <class Channel>
inline Channel ChannelFromFloatWrapped(float v) {
  if constexpr (std::is_same_v<Channel, PF_FpShort>) {
    return v;
  } else {
    const float p = v * ChannelScale<Channel>::kFromFloat;
    if (!(p >= -0x1p63f && p < 0x1p63f)) return 0;
    return static_cast<Channel>(static_cast<uint64_t>(static_cast<int64_t>(p)));
  }
}

// The row routines' way back: clamped to the channel's range so a bright pixel never wraps to
// black; NaN stores 0. Inside the range the result equals the truncation above bit for bit.
template <class Channel>
inline Channel ChannelFromFloatClamped(float v) {
  if constexpr (std::is_same_v<Channel, PF_FpShort>) {
    return v;
  } else {
    constexpr float kMax = ChannelScale<Channel>::kFromFloat;
    float p = v * kMax;
    p = p > 0.0f ? p : 0.0f;  // written as a comparison so NaN lands on 0
    p = p < kMax ? p : kMax;
    return static_cast<Channel>(static_cast<int32_t>(p));
  }
}

namespace detail {
template <class Channel, ChannelOrder Order>
struct PixelOf;
template <>
struct PixelOf<A_u_char, ChannelOrder::ARGB> {
  using type = PF_Pixel;
};
template <>
struct PixelOf<A_u_short, ChannelOrder::ARGB> {
  using type = PF_Pixel16;
};
template <>
struct PixelOf<PF_FpShort, ChannelOrder::ARGB> {
  using type = PF_PixelFloat;
};
template <>
struct PixelOf<A_u_char, ChannelOrder::BGRA> {
  using type = PixelBGRA8;
};
template <>
struct PixelOf<PF_FpShort, ChannelOrder::BGRA> {
  using type = PixelBGRAFloat;
};
}  // namespace detail

template <class ChannelT, ChannelOrder OrderT>
struct PixelLayout {
  using Channel = ChannelT;
  using Pixel = typename detail::PixelOf<Channel, OrderT>::type;
  static constexpr ChannelOrder kOrder = OrderT;
  static constexpr int kBits = std::is_same_v<Channel, PF_FpShort> ? 32 : 8 * sizeof(Channel);
  static constexpr std::ptrdiff_t kPixelBytes = sizeof(Pixel);
  static_assert(sizeof(Pixel) == 4 * sizeof(Channel), "a pixel is four packed channels");

  static PF_PixelFloat ToWorking(const Pixel& p) {
    return PF_PixelFloat{ChannelToFloat(p.alpha), ChannelToFloat(p.red), ChannelToFloat(p.green),
                         ChannelToFloat(p.blue)};
  }
  static void StoreWrapped(const PF_PixelFloat& w, Pixel* p) {
    Pixel out;
    out.alpha = ChannelFromFloatWrapped<Channel>(w.alpha);
    out.red = ChannelFromFloatWrapped<Channel>(w.red);
    out.green = ChannelFromFloatWrapped<Channel>(w.green);
    out.blue = ChannelFromFloatWrapped<Channel>(w.blue);
    *p = out;
  }
  static void StoreClamped(const PF_PixelFloat& w, Pixel* p) {
    Pixel out;
    out.alpha = ChannelFromFloatClamped<Channel>(w.alpha);
    out.red = ChannelFromFloatClamped<Channel>(w.red);
    out.green = ChannelFromFloatClamped<Channel>(w.green);
    out.blue = ChannelFromFloatClamped<Channel>(w.blue);
    *p = out;
  }

  // Address of pixel (x, y): data + y * rowbytes + x * pixel size, all in signed 64 bits, so that
  // bottom-up rows (negative rowbytes) and worlds past 2 GB are addressed correctly.
  static Pixel* At(const PF_LayerDef* world, int x, int y) {
    char* base = static_cast<char*>(world->data);
    return reinterpret_cast<Pixel*>(base + static_cast<int64_t>(y) * world->rowbytes +
                                    static_cast<int64_t>(x) * kPixelBytes);
  }
  static Pixel* Row(const PF_LayerDef* world, int64_t y) {
    return reinterpret_cast<Pixel*>(static_cast<char*>(world->data) + y * world->rowbytes);
  }
};

using LayoutArgb8 = PixelLayout<A_u_char, ChannelOrder::ARGB>;
using LayoutArgb16 = PixelLayout<A_u_short, ChannelOrder::ARGB>;
using LayoutArgbFloat = PixelLayout<PF_FpShort, ChannelOrder::ARGB>;
using LayoutBgra8 = PixelLayout<A_u_char, ChannelOrder::BGRA>;
using LayoutBgraFloat = PixelLayout<PF_FpShort, ChannelOrder::BGRA>;

}  // namespace tavu
