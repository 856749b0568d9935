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
void GetPixelFloat(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out);
void GetPixelFloat_BGRA(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out);
void GetPixel16(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out);
void GetPixel8(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out);
void GetPixel8_BGRA(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out);

// ---- writers: (world, x, y, pixel), no bounds test; out-of-range channels wrap ----------------
void SetPixelFloat(PF_LayerDef* world, int x, int y, const PF_PixelFloat* pixel);
void SetPixelFloat_BGRA(PF_LayerDef* world, int x, int y, const PF_PixelFloat* pixel);
void SetPixel16(PF_LayerDef* world, int x, int y, const PF_PixelFloat* pixel);
void SetPixel8(PF_LayerDef* world, int x, int y, const PF_PixelFloat* pixel);
void SetPixel8_BGRA(PF_LayerDef* world, int x, int y, const PF_PixelFloat* pixel);

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

extern const RoutineSet kRoutinesArgbFloat;
extern const RoutineSet kRoutinesArgb16;
extern const RoutineSet kRoutinesArgb8;
extern const RoutineSet kRoutinesBgraFloat;
extern const RoutineSet kRoutinesBgra8;

void RecordRoutines(RenderData* rd, const RoutineSet& set);

}  // namespace tavu
