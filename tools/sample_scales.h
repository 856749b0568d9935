// The channel scales of image files and worlds, and the one exact conversion between any two of
// them: what PNG and OpenEXR files store, and what a world holds at 8, 16 and 32 bits.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "tools/image_io.h"

namespace tavu::render {

// An integer scale maps 0..kMax to 0..1; the float scale is 0..1 itself. A world at depth 8 uses
// the PNG8 scale, at depth 16 the 0..32768 scale, at depth 32 the float scale.

template <typename T, std::uint32_t Max>
struct IntegerScale {
  using Channel = T;
  static constexpr std::uint32_t kMax = Max;
};
using Png8Scale = IntegerScale<std::uint8_t, 255>;
using Png16Scale = IntegerScale<std::uint16_t, 65535>;
using World16Scale = IntegerScale<std::uint16_t, 32768>;
struct FloatScale {
  using Channel = float;
};

// round(v·num/den) with halves rounded up, for non-negative integers. Done in integers so that no
// binary fraction ever decides a rounding: floor((2·v·num + den) / (2·den)) is exactly the
// rational v·num/den + 1/2 rounded down. 2·65535·65535 fits easily in 64 bits.
constexpr std::uint32_t RoundRatio(std::uint64_t v, std::uint64_t num, std::uint64_t den) {
  return static_cast<std::uint32_t>((2 * v * num + den) / (2 * den));
}

// round(clamp01(v)·max) with halves rounded up; NaN counts as 0. A float has 24 significant bits
// and max at most 16, so v·max is exact in double and so is its distance to the integer below:
// the halfway test compares the true product, not a rounded one.
inline std::uint32_t RoundUnitFloat(float v, std::uint32_t max) {
  if (!(v > 0.0f)) return 0;  // also NaN
  if (v >= 1.0f) return max;
  const double product = static_cast<double>(v) * max;
  const double whole = std::floor(product);
  return static_cast<std::uint32_t>(whole) + (product - whole >= 0.5 ? 1u : 0u);
}

template <typename From, typename To>
typename To::Channel ConvertChannel(typename From::Channel v) {
  using Out = typename To::Channel;
  if constexpr (std::is_same_v<From, To>) {
    return v;
  } else if constexpr (std::is_same_v<From, FloatScale>) {
    return static_cast<Out>(RoundUnitFloat(v, To::kMax));
  } else if constexpr (std::is_same_v<To, FloatScale>) {
    // One single-precision division, correctly rounded; v·(1/max) would differ in the last bit.
    return static_cast<float>(v) / static_cast<float>(From::kMax);
  } else {
    // The 0..32768 scale can hold values above its maximum; they count as the maximum.
    return static_cast<Out>(
        RoundRatio(std::min<std::uint32_t>(v, From::kMax), To::kMax, From::kMax));
  }
}

template <typename From, typename To>
void ConvertRow(const typename From::Channel* in, std::size_t count, typename To::Channel* out) {
  std::transform(in, in + count, out, ConvertChannel<From, To>);
}

template <typename To>
void ConvertKindRow(SampleKind kind, const void* in, std::size_t count, typename To::Channel* out) {
  switch (kind) {
    case SampleKind::kPng8:
      return ConvertRow<Png8Scale, To>(static_cast<const std::uint8_t*>(in), count, out);
    case SampleKind::kPng16:
      return ConvertRow<Png16Scale, To>(static_cast<const std::uint16_t*>(in), count, out);
    case SampleKind::kExrFloat:
      break;
  }
  ConvertRow<FloatScale, To>(static_cast<const float*>(in), count, out);
}

}  // namespace tavu::render
