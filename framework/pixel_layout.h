// Pixel layouts and the conversions between a stored pixel and the working pixel PF_PixelFloat
// (alpha, red, green, blue). Every per-depth routine of the framework (row routines, readers,
// writers, samplers, converters) is written once over a PixelLayout; the five layouts the
// framework serves are the named instances at the bottom.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/pf_effect.h"

// SSE2 is part of every x86-64 processor, so the block conversions below use it unconditionally
// there; other processors take the per-pixel conversions.
#if defined(__SSE2__) || defined(_M_X64)
#define TAVU_SSE2 1
#include <emmintrin.h>
#else
#define TAVU_SSE2 0
#endif

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

// ---- block conversions -------------------------------------------------------------------------
// A row's pixels converted many at a time, each to exactly the bits ToWorking and StoreClamped
// give it alone. The compilers do not find the vector form of the clamped store by themselves
// (without fast-math they will not turn the NaN-aware comparisons into min and max), so on x86-64
// four pixels are converted at once with SSE2 instructions whose semantics are those of the
// scalar code, operand order included:
//   int to float (cvtdq2ps) is exact for every 8- and 16-bit channel, and the one multiplication
//   rounds as the scalar one does;
//   maxps(p, 0) is `p > 0 ? p : 0` (a NaN yields the second operand, 0), minps(p, max) is
//   `p < max ? p : max`, and cvttps2dq truncates toward zero as the cast does;
//   the clamped values 0..255 pass the signed and unsigned packs unchanged; 0..32768 are packed
//   as v - 32768 (exact in 16 signed bits) and the sign bit flipped back.
namespace detail {
#if TAVU_SSE2
inline __m128 ReverseLanes(__m128 v) { return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3)); }
inline __m128i ReverseLanes(__m128i v) { return _mm_shuffle_epi32(v, _MM_SHUFFLE(0, 1, 2, 3)); }
inline __m128 LoadPixel(const void* p) { return _mm_loadu_ps(static_cast<const float*>(p)); }
inline void StorePixel(void* p, __m128 v) { _mm_storeu_ps(static_cast<float*>(p), v); }

template <class Layout>
inline void FourToWorking(const typename Layout::Pixel* in, PF_PixelFloat* work) {
  using Channel = typename Layout::Channel;
  constexpr bool kReverse = Layout::kOrder == ChannelOrder::BGRA;
  if constexpr (std::is_same_v<Channel, PF_FpShort>) {
    for (int i = 0; i < 4; ++i) {
      const __m128 v = LoadPixel(&in[i]);
      StorePixel(&work[i], kReverse ? ReverseLanes(v) : v);
    }
  } else {
    // Each pixel's four channels as 32-bit integers, in memory order.
    const __m128i zero = _mm_setzero_si128();
    __m128i lanes[4];
    if constexpr (std::is_same_v<Channel, A_u_char>) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
      const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
      lanes[0] = _mm_unpacklo_epi16(lo, zero);
      lanes[1] = _mm_unpackhi_epi16(lo, zero);
      lanes[2] = _mm_unpacklo_epi16(hi, zero);
      lanes[3] = _mm_unpackhi_epi16(hi, zero);
    } else {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2));
      lanes[0] = _mm_unpacklo_epi16(a, zero);
      lanes[1] = _mm_unpackhi_epi16(a, zero);
      lanes[2] = _mm_unpacklo_epi16(b, zero);
      lanes[3] = _mm_unpackhi_epi16(b, zero);
    }
    const __m128 scale = _mm_set1_ps(ChannelScale<Channel>::kToFloat);
    for (int i = 0; i < 4; ++i) {
      const __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(lanes[i]), scale);
      StorePixel(&work[i], kReverse ? ReverseLanes(v) : v);
    }
  }
}

template <class Layout>
inline void FourStoreClamped(const PF_PixelFloat* work, typename Layout::Pixel* out) {
  using Channel = typename Layout::Channel;
  constexpr bool kReverse = Layout::kOrder == ChannelOrder::BGRA;
  if constexpr (std::is_same_v<Channel, PF_FpShort>) {
    for (int i = 0; i < 4; ++i) {
      const __m128 v = LoadPixel(&work[i]);
      StorePixel(&out[i], kReverse ? ReverseLanes(v) : v);
    }
  } else {
    const __m128 max = _mm_set1_ps(ChannelScale<Channel>::kFromFloat);
    const __m128 zero = _mm_setzero_ps();
    __m128i q[4];
    for (int i = 0; i < 4; ++i) {
      __m128 p = _mm_mul_ps(LoadPixel(&work[i]), max);
      p = _mm_max_ps(p, zero);
      p = _mm_min_ps(p, max);
      q[i] = _mm_cvttps_epi32(p);
      if constexpr (kReverse) q[i] = ReverseLanes(q[i]);
    }
    if constexpr (std::is_same_v<Channel, A_u_char>) {
      const __m128i bytes =
          _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
    } else {
      const __m128i bias = _mm_set1_epi32(32768);
      const __m128i flip = _mm_set1_epi16(static_cast<short>(0x8000));
      const __m128i a = _mm_xor_si128(
          _mm_packs_epi32(_mm_sub_epi32(q[0], bias), _mm_sub_epi32(q[1], bias)), flip);
      const __m128i b = _mm_xor_si128(
          _mm_packs_epi32(_mm_sub_epi32(q[2], bias), _mm_sub_epi32(q[3], bias)), flip);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), a);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2), b);
    }
  }
}
#endif
}  // namespace detail

template <class Layout>
inline void ToWorkingBlock(const typename Layout::Pixel* in, PF_PixelFloat* work,
                           std::ptrdiff_t count) {
  std::ptrdiff_t k = 0;
#if TAVU_SSE2
  for (; k + 4 <= count; k += 4) detail::FourToWorking<Layout>(in + k, work + k);
#endif
  for (; k < count; ++k) work[k] = Layout::ToWorking(in[k]);
}

template <class Layout>
inline void StoreClampedBlock(const PF_PixelFloat* work, typename Layout::Pixel* out,
                              std::ptrdiff_t count) {
  std::ptrdiff_t k = 0;
#if TAVU_SSE2
  for (; k + 4 <= count; k += 4) detail::FourStoreClamped<Layout>(work + k, out + k);
#endif
  for (; k < count; ++k) Layout::StoreClamped(work[k], &out[k]);
}

using LayoutArgb8 = PixelLayout<A_u_char, ChannelOrder::ARGB>;
using LayoutArgb16 = PixelLayout<A_u_short, ChannelOrder::ARGB>;
using LayoutArgbFloat = PixelLayout<PF_FpShort, ChannelOrder::ARGB>;
using LayoutBgra8 = PixelLayout<A_u_char, ChannelOrder::BGRA>;
using LayoutBgraFloat = PixelLayout<PF_FpShort, ChannelOrder::BGRA>;

}  // namespace tavu
