// Bare loops: for each effect, the arithmetic of its default setting written straight over the
// frame, without the framework (no row routines, no context, no reader slots, no parameter
// block). They are what the framework's overhead is measured against: stored pixel to float,
// the effect's arithmetic, float back to the stored pixel clamped, nothing else.
//
// Each loop is written once over the stored pixel type; the arithmetic is the Windows modules'
// (the macOS variants differ only in corner cases of NaN and rounding, not in cost).
#pragma once

#include <cstdint>

#include "platform/pf_effect.h"

namespace tavu::bench {

struct BgraPixel8 {
  A_u_char blue, green, red, alpha;
};
struct BgraPixelFloat {
  PF_FpShort blue, green, red, alpha;
};

struct Rgba {
  float a, r, g, b;
};

// Stored channel <-> float: the integer channel times the float nearest 1/255 (or 2^-15); back by
// the full scale, clamped to the channel's range, NaN to 0, truncated.
template <class Channel>
struct Scale;
template <>
struct Scale<A_u_char> {
  static constexpr float kIn = 0x1.010102p-8f;
  static constexpr float kOut = 255.0f;
};
template <>
struct Scale<A_u_short> {
  static constexpr float kIn = 0x1p-15f;
  static constexpr float kOut = 32768.0f;
};

template <class Pixel>
inline Rgba Load(const Pixel& p) {
  using C = decltype(p.alpha);
  if constexpr (sizeof(C) == 4) {
    return {p.alpha, p.red, p.green, p.blue};
  } else {
    constexpr float k = Scale<C>::kIn;
    return {float(p.alpha) * k, float(p.red) * k, float(p.green) * k, float(p.blue) * k};
  }
}

template <class C>
inline C StoreChannel(float v) {
  if constexpr (sizeof(C) == 4) {
    return v;
  } else {
    constexpr float kMax = Scale<C>::kOut;
    float p = v * kMax;
    p = p > 0.0f ? p : 0.0f;
    p = p < kMax ? p : kMax;
    return static_cast<C>(static_cast<int32_t>(p));
  }
}

template <class Pixel>
inline void Store(const Rgba& w, Pixel& p) {
  using C = decltype(p.alpha);
  p.alpha = StoreChannel<C>(w.a);
  p.red = StoreChannel<C>(w.r);
  p.green = StoreChannel<C>(w.g);
  p.blue = StoreChannel<C>(w.b);
}

template <class Pixel>
inline const Pixel* RowOf(const PF_LayerDef* w, int64_t y) {
  return reinterpret_cast<const Pixel*>(static_cast<const char*>(w->data) + y * w->rowbytes);
}
template <class Pixel>
inline Pixel* RowOf(PF_LayerDef* w, int64_t y) {
  return reinterpret_cast<Pixel*>(static_cast<char*>(w->data) + y * w->rowbytes);
}

inline float ClampUnit(float v) { return v > 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f); }

// What a bare loop is handed: the frame, the effect's second layer (Input 2, Color Reference:
// by default the frame itself), the output, Mix as the effect's block holds it, and the band of
// output rows to compute (all cores: one band per thread).
struct BareFrame {
  const PF_LayerDef* input;
  const PF_LayerDef* second;
  PF_LayerDef* output;
  float mix;
  int64_t firstRow, endRow;
};

// Blending, Normal, Intensity 1, RGB: the second layer's colour replaces the pixel's, mixed and
// clamped, then mixed once more with the pixel in all four channels.
template <class Pixel>
void BareBlending(const BareFrame& f) {
  const float mix = f.mix, keep = 1.0f - mix;
  for (int64_t y = f.firstRow; y < f.endRow; ++y) {
    const Pixel* in = RowOf<Pixel>(f.input, y);
    const Pixel* in2 = RowOf<Pixel>(f.second, y);
    Pixel* out = RowOf<Pixel>(f.output, y);
    for (int64_t x = 0; x < f.output->width; ++x) {
      const Rgba p = Load(in[x]);
      const Rgba s = Load(in2[x]);
      const float r = ClampUnit(keep * p.r + mix * s.r);
      const float g = ClampUnit(keep * p.g + mix * s.g);
      const float b = ClampUnit(keep * p.b + mix * s.b);
      const Rgba o{keep * p.a + mix * p.a, keep * p.r + mix * r, keep * p.g + mix * g,
                   keep * p.b + mix * b};
      Store(o, out[x]);
    }
  }
}

// Combine RGBA, every channel from its own: each channel mixed with itself.
template <class Pixel>
void BareCombine(const BareFrame& f) {
  const float mix = f.mix, keep = 1.0f - mix;
  for (int64_t y = f.firstRow; y < f.endRow; ++y) {
    const Pixel* in = RowOf<Pixel>(f.input, y);
    Pixel* out = RowOf<Pixel>(f.output, y);
    for (int64_t x = 0; x < f.output->width; ++x) {
      const Rgba p = Load(in[x]);
      const Rgba o{keep * p.a + mix * p.a, keep * p.r + mix * p.r, keep * p.g + mix * p.g,
                   keep * p.b + mix * p.b};
      Store(o, out[x]);
    }
  }
}

// Brightness Check, thresholds 1 and 0: luma at or above 1 takes the highlight colour, at or
// below 0 the shadow colour; opaque. Rec. 601 weights in float frames, Rec. 709 otherwise.
template <class Pixel>
void BareBrightness(const BareFrame& f) {
  constexpr bool kFloat = sizeof(Pixel) == 16;
  constexpr float wR = kFloat ? 0.299f : 0.2125f;
  constexpr float wG = kFloat ? 0.587f : 0.7154f;
  constexpr float wB = kFloat ? 0.114f : 0.0721f;
  constexpr float kInv255 = 0.003921569f;
  const Rgba highlight{255 * kInv255, 255 * kInv255, 0.0f, 0.0f};  // red
  const Rgba shadow{255 * kInv255, 0.0f, 0.0f, 255 * kInv255};           // blue
  const float highlightClamp = 1.0f, shadowClamp = 0.0f;
  const float keep = 1.0f - f.mix, h = 1.0f - keep;
  for (int64_t y = f.firstRow; y < f.endRow; ++y) {
    const Pixel* in = RowOf<Pixel>(f.input, y);
    Pixel* out = RowOf<Pixel>(f.output, y);
    for (int64_t x = 0; x < f.output->width; ++x) {
      Rgba p = Load(in[x]);
      const float luma = (wR * p.r + wG * p.g) + wB * p.b;
      const Rgba* c = luma >= highlightClamp ? &highlight
                      : !(luma > shadowClamp) ? &shadow
                                              : nullptr;
      if (c != nullptr) {
        p.r = h * c->r + keep * p.r;
        p.g = h * c->g + keep * p.g;
        p.b = h * c->b + keep * p.b;
      }
      p.a = 1.0f;
      Store(p, out[x]);
    }
  }
}

// Color Gray, Average, Left-Right: the average picks a column of the reference's second row.
template <class Pixel>
void BareColorGray(const BareFrame& f) {
  const float m = f.mix, keep = 1.0f - m;
  const PF_LayerDef* ref = f.second;
  const Pixel* refRow = RowOf<Pixel>(ref, 1);
  const float span = static_cast<float>(ref->width - 1);
  for (int64_t y = f.firstRow; y < f.endRow; ++y) {
    const Pixel* in = RowOf<Pixel>(f.input, y);
    Pixel* out = RowOf<Pixel>(f.output, y);
    for (int64_t x = 0; x < f.output->width; ++x) {
      const Rgba p = Load(in[x]);
      float gray = ((p.r + p.g) + p.b) * 0.333333f;
      gray = gray > 1.0f ? 1.0f : (gray >= 0.0f ? gray : 0.0f);
      const int64_t at = static_cast<int64_t>(span * gray);
      Rgba c{1.0f, 0.0f, 0.0f, 0.0f};
      if (at >= 0 && at < ref->width) c = Load(refRow[at]);
      const Rgba o{keep * p.a + m, keep * p.r + m * c.r, keep * p.g + m * c.g,
                   keep * p.b + m * c.b};
      Store(o, out[x]);
    }
  }
}

}  // namespace tavu::bench
