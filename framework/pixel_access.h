// Per-pixel services around the row routines: readers (a second layer at an integer position),
// sub-pixel samplers (through the host's sampling suites), writers and the single-pixel
// converters, one of each per layout; and the routine sets that the render driver records in
// RenderData for the layout it runs. All are instances of the layout templates in
// pixel_layout.h.
#pragma once

#include "framework/pixel_layout.h"
#include "framework/render_data.h"

namespace tavu {

// ---- readers: (world, x, y, out), no bounds test ----------------------------------------------
// Defined here so that a row routine that knows its layout's reader inlines it into the pixel
// loop (see row_routines.h).
template <class Layout>
inline void ReadPixel(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out) {
  *out = Layout::ToWorking(*Layout::At(world, x, y));
}
inline void GetPixelFloat(const PF_LayerDef* w, int x, int y, PF_PixelFloat* o) {
  ReadPixel<LayoutArgbFloat>(w, x, y, o);
}
inline void GetPixelFloat_BGRA(const PF_LayerDef* w, int x, int y, PF_PixelFloat* o) {
  ReadPixel<LayoutBgraFloat>(w, x, y, o);
}
inline void GetPixel16(const PF_LayerDef* w, int x, int y, PF_PixelFloat* o) {
  ReadPixel<LayoutArgb16>(w, x, y, o);
}
inline void GetPixel8(const PF_LayerDef* w, int x, int y, PF_PixelFloat* o) {
  ReadPixel<LayoutArgb8>(w, x, y, o);
}
inline void GetPixel8_BGRA(const PF_LayerDef* w, int x, int y, PF_PixelFloat* o) {
  ReadPixel<LayoutBgra8>(w, x, y, o);
}

// ---- writers: (world, x, y, pixel), no bounds test; out-of-range channels wrap ----------------
template <class Layout>
inline void WritePixel(PF_LayerDef* world, int x, int y, const PF_PixelFloat* pixel) {
  Layout::StoreWrapped(*pixel, Layout::At(world, x, y));
}
inline void SetPixelFloat(PF_LayerDef* w, int x, int y, const PF_PixelFloat* p) {
  WritePixel<LayoutArgbFloat>(w, x, y, p);
}
inline void SetPixelFloat_BGRA(PF_LayerDef* w, int x, int y, const PF_PixelFloat* p) {
  WritePixel<LayoutBgraFloat>(w, x, y, p);
}
inline void SetPixel16(PF_LayerDef* w, int x, int y, const PF_PixelFloat* p) {
  WritePixel<LayoutArgb16>(w, x, y, p);
}
inline void SetPixel8(PF_LayerDef* w, int x, int y, const PF_PixelFloat* p) {
  WritePixel<LayoutArgb8>(w, x, y, p);
}
inline void SetPixel8_BGRA(PF_LayerDef* w, int x, int y, const PF_PixelFloat* p) {
  WritePixel<LayoutBgra8>(w, x, y, p);
}

// ---- samplers: (context, world, x, y, out) ----------------------------------------------------
// Each call acquires its sampling suite through a fresh suite holder on the context's basic suite
// and releases it before returning; a missing suite throws the integer 516 and leaves `out`
// unwritten. The host function's own result is not looked at.
void SamplePixelFloat(const RenderData* context, PF_LayerDef* world, float x, float y,
                      PF_PixelFloat* out);
void SamplePixelFloat_BGRA(const RenderData* context, PF_LayerDef* world, float x, float y,
                           PF_PixelFloat* out);
void SamplePixel16(const RenderData* context, PF_LayerDef* world, float x, float y,
                   PF_PixelFloat* out);
void SamplePixel8(const RenderData* context, PF_LayerDef* world, float x, float y,
                  PF_PixelFloat* out);
void SamplePixel8_BGRA(const RenderData* context, PF_LayerDef* world, float x, float y,
                       PF_PixelFloat* out);

// A coordinate as the host's 16.16 fixed point: the single-precision product with 65536, rounded
// to the nearest integer with halves away from zero (the half added in double precision). NaN
// gives 0 and products beyond the 32-bit range saturate, where a plain conversion would be
// undefined.
PF_Fixed ToFixed(float coordinate);

// ---- single-pixel converters: (source, destination), no overlap -------------------------------
void Pixel8ToFloat(const PF_Pixel* src, PF_PixelFloat* dst);
void Pixel8BGRAToFloat(const PixelBGRA8* src, PF_PixelFloat* dst);
void Pixel16ToFloat(const PF_Pixel16* src, PF_PixelFloat* dst);
void PixelFloatCopy(const PF_PixelFloat* src, PF_PixelFloat* dst);
void PixelFloatBGRAToFloat(const PixelBGRAFloat* src, PF_PixelFloat* dst);
void FloatToPixel8(const PF_PixelFloat* src, PF_Pixel* dst);
void FloatToPixel8BGRA(const PF_PixelFloat* src, PixelBGRA8* dst);
void FloatToPixel16(const PF_PixelFloat* src, PF_Pixel16* dst);
void FloatToPixelFloatBGRA(const PF_PixelFloat* src, PixelBGRAFloat* dst);

// ---- routine sets ------------------------------------------------------------------------------
// What the driver records in RenderData's four slots for the layout it runs. AE_GetPixel follows
// the frame's channel order; AEPrem_GetPixel is always the alpha-red-green-blue reader of the
// frame's depth, so the two differ only for Premiere Pro BGRA frames.
struct RoutineSet {
  SamplePixelFunc samplePixel;
  GetPixelFunc getPixel;
  SetPixelFunc setPixel;
  GetPixelFunc premGetPixel;
};

inline constexpr RoutineSet kRoutinesArgbFloat{SamplePixelFloat, GetPixelFloat, SetPixelFloat,
                                              GetPixelFloat};
inline constexpr RoutineSet kRoutinesArgb16{SamplePixel16, GetPixel16, SetPixel16, GetPixel16};
inline constexpr RoutineSet kRoutinesArgb8{SamplePixel8, GetPixel8, SetPixel8, GetPixel8};
inline constexpr RoutineSet kRoutinesBgraFloat{SamplePixelFloat_BGRA, GetPixelFloat_BGRA,
                                              SetPixelFloat_BGRA, GetPixelFloat};
inline constexpr RoutineSet kRoutinesBgra8{SamplePixel8_BGRA, GetPixel8_BGRA, SetPixel8_BGRA,
                                          GetPixel8};

inline void RecordRoutines(RenderData* rd, const RoutineSet& set) {
  rd->AE_SamplePixel = set.samplePixel;
  rd->AE_GetPixel = set.getPixel;
  rd->AE_SetPixel = set.setPixel;
  rd->AEPrem_GetPixel = set.premGetPixel;
}

// What the driver records in the context for a frame it runs in each layout: the bits per
// channel, the After Effects format code of that depth (Premiere Pro's BGRA frames are recorded
// under it too) and the layout's routine set.
template <class Layout>
struct FrameRecord {
  static constexpr A_long kBits = Layout::kBits;
  static constexpr PF_PixelFormat kFormat = kBits == 8    ? PF_PixelFormat_ARGB32
                                            : kBits == 16 ? PF_PixelFormat_ARGB64
                                                          : PF_PixelFormat_ARGB128;
  static constexpr const RoutineSet& kRoutines =
      Layout::kOrder == ChannelOrder::BGRA ? (kBits == 8 ? kRoutinesBgra8 : kRoutinesBgraFloat)
      : kBits == 8                         ? kRoutinesArgb8
      : kBits == 16                        ? kRoutinesArgb16
                                           : kRoutinesArgbFloat;
};

template <class Layout>
void RecordFrame(RenderData* rd) {
  rd->pixelFormat = FrameRecord<Layout>::kFormat;
  rd->bitsPerChannel = FrameRecord<Layout>::kBits;
  RecordRoutines(rd, FrameRecord<Layout>::kRoutines);
}

// Whether the context holds exactly what RecordFrame<Layout> writes.
template <class Layout>
bool HoldsFrameRecord(const RenderData& rd) {
  using R = FrameRecord<Layout>;
  return rd.pixelFormat == R::kFormat && rd.bitsPerChannel == R::kBits &&
         rd.AE_SamplePixel == R::kRoutines.samplePixel && rd.AE_GetPixel == R::kRoutines.getPixel &&
         rd.AE_SetPixel == R::kRoutines.setPixel && rd.AEPrem_GetPixel == R::kRoutines.premGetPixel;
}

}  // namespace tavu
