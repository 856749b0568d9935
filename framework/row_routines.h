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
#include <type_traits>
#include <utility>

#include "framework/effect_traits.h"
#include "framework/pixel_access.h"
#include "framework/pixel_layout.h"
#include "framework/render_data.h"

// TAVU_FLATTEN inlines every call in the function's body, recursively, whatever the compiler's
// size limits; TAVU_NOINLINE keeps a function out of its callers.
#if defined(__GNUC__) || defined(__clang__)
#define TAVU_FLATTEN __attribute__((flatten))
#define TAVU_NOINLINE __attribute__((noinline))
#else
#define TAVU_FLATTEN
#define TAVU_NOINLINE
#endif

namespace tavu::framework {

// Pixels are converted in blocks: a block of input pixels into working pixels, Process on each in
// turn, the block back into the output. Each pixel still goes in, through Process and out exactly
// as if handled alone (Process reads its own pixel and writes only that); converting a block at a
// time is what lets the conversions run as vector code (pixel_layout.h).
inline constexpr A_long kBlockPixels = 64;

template <class Effect, class Layout>
inline void RunSpan(A_long x, A_long y, const typename Layout::Pixel* in,
                    typename Layout::Pixel* out, A_long count, const RenderData* rd) {
  PF_PixelFloat work[kBlockPixels];
  ToWorkingBlock<Layout>(in, work, count);
  for (A_long k = 0; k < count; ++k) Effect::Process(x + k, y, &work[k], rd);
  StoreClampedBlock<Layout>(work, out, count);
}

template <class Effect, class Layout>
inline void RunPixels(A_long x, A_long y, const typename Layout::Pixel* in,
                      typename Layout::Pixel* out, A_long width, const RenderData* rd) {
  if constexpr (std::is_same_v<typename Layout::Pixel, PF_PixelFloat>) {
    // Float ARGB: the output pixel itself is the working pixel; Process works on it in place.
    for (A_long k = 0; k < width; ++k) {
      out[k] = in[k];
      Effect::Process(x + k, y, &out[k], rd);
    }
  } else {
    for (A_long k = 0; k < width; k += kBlockPixels) {
      RunSpan<Effect, Layout>(x + k, y, in + k, out + k, std::min(kBlockPixels, width - k), rd);
    }
  }
}

namespace detail {

template <class Effect, class = void>
struct HasRowConstant : std::false_type {};
template <class Effect>
struct HasRowConstant<Effect, std::void_t<typename Effect::RowConstant>> : std::true_type {};

// The field's value a row loop is compiled for; kAny: whatever the render's block holds.
inline constexpr int64_t kAny = INT64_MIN;

}  // namespace detail

// One row, pixels x .. x + width - 1 of row y, in a context that holds exactly what the driver
// records for the layout. Process learns the frame's depth and reaches its readers through the
// context, which the driver filled before any row ran and which stays the same for the whole
// render; it gets a copy of it whose format, depth and routine slots are set from those same
// constants: every field equal, but now known to the compiler, so a test on the depth folds away
// and a reader called through a slot is inlined instead of called through a pointer for every
// pixel. With a Value, Process also reads a copy of the block whose RowConstant field is that
// constant (the render's own value, see RunRow).
template <class Effect, class Layout, int64_t Value>
inline void RunKnownRow(A_long x, A_long y, const typename Layout::Pixel* in,
                        typename Layout::Pixel* out, A_long width, const RenderData* rd) {
  RenderData known = *rd;
  RecordFrame<Layout>(&known);
  if constexpr (Value == detail::kAny) {
    RunPixels<Effect, Layout>(x, y, in, out, width, &known);
  } else {
    using Block = typename Effect::ParamBlock;
    Block block = BlockOf<Block>(rd);
    block.*Effect::RowConstant::kField = static_cast<int32_t>(Value);
    known.paramBlock = &block;
    RunPixels<Effect, Layout>(x, y, in, out, width, &known);
  }
}

// The loops a render runs: everything they call is inlined into them (flatten), Process first of
// all, so the per-pixel loop is straight code; one function per layout and value, so that each
// is optimised on its own.
template <class Effect, class Layout, int64_t Value>
TAVU_NOINLINE TAVU_FLATTEN void RunLayoutRow(A_long x, A_long y, const typename Layout::Pixel* in,
                                             typename Layout::Pixel* out, A_long width,
                                             const RenderData* rd) {
  RunKnownRow<Effect, Layout, Value>(x, y, in, out, width, rd);
}

// The loops no render of the driver's needs at speed, left to the compiler's own inlining: a
// RowConstant field outside its range (a value the host should never send), and any context
// other than the driver's (a test's own, say), which is passed on unchanged.
template <class Effect, class Layout>
TAVU_NOINLINE void RunRareRow(A_long x, A_long y, const typename Layout::Pixel* in,
                              typename Layout::Pixel* out, A_long width, const RenderData* rd) {
  RunKnownRow<Effect, Layout, detail::kAny>(x, y, in, out, width, rd);
}
template <class Effect, class Layout>
TAVU_NOINLINE void RunOtherRow(A_long x, A_long y, const typename Layout::Pixel* in,
                               typename Layout::Pixel* out, A_long width, const RenderData* rd) {
  RunPixels<Effect, Layout>(x, y, in, out, width, rd);
}

namespace detail {
// Runs the loop compiled for `value` when one is; false when the value is outside the range.
template <class Effect, class Layout, int32_t... Offsets>
bool RunRowForValue(int32_t value, std::integer_sequence<int32_t, Offsets...>, A_long x, A_long y,
                    const typename Layout::Pixel* in, typename Layout::Pixel* out, A_long width,
                    const RenderData* rd) {
  constexpr int32_t kFirst = Effect::RowConstant::kFirst;
  return ((value == kFirst + Offsets
               ? (RunLayoutRow<Effect, Layout, kFirst + Offsets>(x, y, in, out, width, rd), true)
               : false) ||
          ...);
}
}  // namespace detail

template <class Effect, class Layout>
inline void RunRow(A_long x, A_long y, const typename Layout::Pixel* in,
                   typename Layout::Pixel* out, A_long width, const RenderData* rd) {
  if (!HoldsFrameRecord<Layout>(*rd)) {
    RunOtherRow<Effect, Layout>(x, y, in, out, width, rd);
    return;
  }
  if constexpr (detail::HasRowConstant<Effect>::value) {
    using C = typename Effect::RowConstant;
    using Block = typename Effect::ParamBlock;
    static_assert(std::is_same_v<std::remove_const_t<decltype(C::kField)>, int32_t Block::*>,
                  "RowConstant names an int32_t field of the effect's ParamBlock");
    if (rd->paramBlock != nullptr) {
      const int32_t value = BlockOf<Block>(rd).*C::kField;
      if (detail::RunRowForValue<Effect, Layout>(
              value, std::make_integer_sequence<int32_t, C::kCount>{}, x, y, in, out, width, rd)) {
        return;
      }
    }
    RunRareRow<Effect, Layout>(x, y, in, out, width, rd);
  } else {
    RunLayoutRow<Effect, Layout, detail::kAny>(x, y, in, out, width, rd);
  }
}

// After Effects, one row per call in the iterate suites' pixel-function shape: the host iterates
// a one-pixel-wide area, so (x, y) is the row's first output position and in/out point to the
// row's first input (shifted by the iteration origin) and output pixel. The routine walks the
// output world's width itself. The input row is never written.
//
// The row is walked along the input from the pointer the host gave, which stands at the input's
// column origin.h. Where the input is narrower than that walk (or the origin lies left of it),
// the missing input pixels count as transparent black instead of being read from memory past the
// row; an input that covers the row, the ordinary case, takes the single call below.
//
// A row of width 0 or less has no pixels; it returns before anything else, as the column bounds
// below assume 0 <= width (std::clamp's bounds would otherwise be reversed).
template <class Effect, class Layout>
PF_Err IterateRow(void* refcon, A_long x, A_long y, typename Layout::Pixel* in,
                  typename Layout::Pixel* out) {
  const RenderData* rd = static_cast<const RenderData*>(refcon);
  const A_long width = rd->outputWorld->width;
  if (width <= 0) return PF_Err_NONE;
  const PF_LayerDef* input = rd->inputWorld;
  const int64_t originH = rd->inData->output_origin_x;
  const int64_t first = input->data == nullptr ? width : std::clamp<int64_t>(-originH, 0, width);
  const int64_t last =
      input->data == nullptr ? width : std::clamp<int64_t>(input->width - originH, first, width);
  if (first == 0 && last == width) {
    RunRow<Effect, Layout>(x, y, in, out, width, rd);
    return PF_Err_NONE;
  }
  static const typename Layout::Pixel kTransparent[kBlockPixels] = {};
  auto runTransparent = [&](int64_t from, int64_t to) {
    for (int64_t k = from; k < to; k += kBlockPixels) {
      const A_long n = static_cast<A_long>(std::min<int64_t>(kBlockPixels, to - k));
      RunRow<Effect, Layout>(x + static_cast<A_long>(k), y, kTransparent, out + k, n, rd);
    }
  };
  runTransparent(0, first);
  if (last > first) {
    RunRow<Effect, Layout>(x + static_cast<A_long>(first), y, in + first, out + first,
                           static_cast<A_long>(last - first), rd);
  }
  runTransparent(last, width);
  return PF_Err_NONE;
}

// Premiere Pro, the whole frame per call on the render's own thread. Rows firstRow up to
// firstRow + rowCount - 1 of both worlds, counted from their first row (data), but never past the
// last row of either world: the frame's extent may claim more rows than a world holds. Columns
// 0 up to the narrower world's width; none (width 0 or less) ends the frame at once. A world
// without pixel data has no rows.
template <class Effect, class Layout>
PF_Err FrameRows(PF_InData*, A_long firstRow, A_long rowCount, PF_LayerDef* input,
                 RenderData* rd, PF_LayerDef* output) {
  const A_long columns = std::min(input->width, output->width);
  if (columns <= 0) return PF_Err_NONE;
  if (input->data == nullptr || output->data == nullptr) return PF_Err_NONE;
  const int64_t end = std::min({int64_t{firstRow} + rowCount, int64_t{input->height},
                                int64_t{output->height}});
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
