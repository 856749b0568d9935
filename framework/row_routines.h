// The row routines: where pixels meet the effect. Each walks input pixels, turns every one into
// the working pixel, hands it to the effect's Process with its output position, and stores the
// result in the output world's own layout.
//
// They are templates over the effect (see effect_traits.h), so that Process is visible here and
// inlines into the per-pixel loop, and over the pixel layout, so that each is written once for
// all depths. The names the driver uses (Process8, Process16, ProcessFloat, Process8_BGRA,
// ProcessFloat_BGRA) are thin instances at the bottom.
#pragma once

#include <algorithm>
#include <cstdint>

#include "framework/pixel_layout.h"
#include "framework/render_data.h"

namespace tavu::framework {

// After Effects, one row per call in the iterate suites' pixel-function shape: the host iterates
// a one-pixel-wide area, so (x, y) is the row's first output position and in/out point to the
// row's first input (shifted by the iteration origin) and output pixel. The routine walks the
// output world's width itself. The input row is never written.
// Pixels are converted in blocks: a block of input pixels into working pixels, Process on each in
// turn, the block back into the output. Each pixel still goes in, through Process and out exactly
// as if handled alone (Process reads its own pixel and writes only that); the fixed-length
// conversion loops are what lets the compiler turn them into vector code.
inline constexpr A_long kBlockPixels = 64;

template <class Effect, class Layout>
inline void RunSpan(A_long x, A_long y, const typename Layout::Pixel* in,
                    typename Layout::Pixel* out, A_long count, const RenderData* rd) {
  PF_PixelFloat work[kBlockPixels];
  if (count == kBlockPixels) {
    for (A_long k = 0; k < kBlockPixels; ++k) work[k] = Layout::ToWorking(in[k]);
  } else {
    for (A_long k = 0; k < count; ++k) work[k] = Layout::ToWorking(in[k]);
  }
  for (A_long k = 0; k < count; ++k) Effect::Process(x + k, y, &work[k], rd);
  if (count == kBlockPixels) {
    for (A_long k = 0; k < kBlockPixels; ++k) Layout::StoreClamped(work[k], &out[k]);
  } else {
    for (A_long k = 0; k < count; ++k) Layout::StoreClamped(work[k], &out[k]);
  }
}

template <class Effect, class Layout>
inline void RunRow(A_long x, A_long y, const typename Layout::Pixel* in,
                   typename Layout::Pixel* out, A_long width, const RenderData* rd) {
  for (A_long k = 0; k < width; k += kBlockPixels) {
    RunSpan<Effect, Layout>(x + k, y, in + k, out + k, std::min(kBlockPixels, width - k), rd);
  }
}

template <class Effect, class Layout>
PF_Err IterateRow(void* refcon, A_long x, A_long y, typename Layout::Pixel* in,
                  typename Layout::Pixel* out) {
  const RenderData* rd = static_cast<const RenderData*>(refcon);
  const A_long width = rd->outputWorld->width;
  if constexpr (std::is_same_v<typename Layout::Pixel, PF_PixelFloat>) {
    // Float: the output pixel itself is the working pixel; Process works on it in place.
    for (A_long k = 0; k < width; ++k) {
      out[k] = in[k];
      Effect::Process(x + k, y, &out[k], rd);
    }
  } else {
    RunRow<Effect, Layout>(x, y, in, out, width, rd);
  }
  return PF_Err_NONE;
}

// Premiere Pro, the whole frame per call on the render's own thread. Rows firstRow up to
// firstRow + rowCount - 1 of both worlds, counted from their first row (data), but never past the
// last row of either world: the frame's extent may claim more rows than a world holds. Columns
// 0 up to the narrower world's width. A world without pixel data has no rows.
template <class Effect, class Layout>
PF_Err FrameRows(PF_InData*, A_long firstRow, A_long rowCount, PF_LayerDef* input,
                 RenderData* rd, PF_LayerDef* output) {
  if (input->data == nullptr || output->data == nullptr) return PF_Err_NONE;
  const int64_t end = std::min({int64_t{firstRow} + rowCount, int64_t{input->height},
                                int64_t{output->height}});
  const A_long columns = std::min(input->width, output->width);
  for (int64_t y = std::max<int64_t>(firstRow, 0); y < end; ++y) {
    const typename Layout::Pixel* in = Layout::Row(input, y);
    typename Layout::Pixel* out = Layout::Row(output, y);
    RunRow<Effect, Layout>(0, static_cast<A_long>(y), in, out, columns, rd);
  }
  return PF_Err_NONE;
}

// Whole-frame routine shape, as DoRender calls the two Premiere Pro routines.
using FrameRoutine = PF_Err (*)(PF_InData* in_data, A_long firstRow, A_long rowCount,
                                PF_LayerDef* input, RenderData* rd, PF_LayerDef* output);

template <class Effect>
PF_Err Process8(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
  return IterateRow<Effect, LayoutArgb8>(refcon, x, y, in, out);
}
template <class Effect>
PF_Err Process16(void* refcon, A_long x, A_long y, PF_Pixel16* in, PF_Pixel16* out) {
  return IterateRow<Effect, LayoutArgb16>(refcon, x, y, in, out);
}
template <class Effect>
PF_Err ProcessFloat(void* refcon, A_long x, A_long y, PF_PixelFloat* in, PF_PixelFloat* out) {
  return IterateRow<Effect, LayoutArgbFloat>(refcon, x, y, in, out);
}
template <class Effect>
PF_Err Process8_BGRA(PF_InData* in_data, A_long firstRow, A_long rowCount, PF_LayerDef* input,
                     RenderData* rd, PF_LayerDef* output) {
  return FrameRows<Effect, LayoutBgra8>(in_data, firstRow, rowCount, input, rd, output);
}
template <class Effect>
PF_Err ProcessFloat_BGRA(PF_InData* in_data, A_long firstRow, A_long rowCount,
                         PF_LayerDef* input, RenderData* rd, PF_LayerDef* output) {
  return FrameRows<Effect, LayoutBgraFloat>(in_data, firstRow, rowCount, input, rd, output);
}

// The five routines of one effect, as the driver picks among them by the frame's format.
struct RowRoutines {
  PF_IteratePixel8Func argb8;
  PF_IteratePixel16Func argb16;
  PF_IteratePixelFloatFunc argbFloat;
  FrameRoutine bgra8;
  FrameRoutine bgraFloat;
};

template <class Effect>
inline constexpr RowRoutines kRowRoutines{Process8<Effect>, Process16<Effect>,
                                          ProcessFloat<Effect>, Process8_BGRA<Effect>,
                                          ProcessFloat_BGRA<Effect>};

}  // namespace tavu::framework
