// The render context: the one record that travels through a render, from the render command
// through the driver and the row routines to the effect's Process. It lives on the stack of the
// render command; it owns nothing.
#pragma once

#include "platform/pf_effect.h"

namespace tavu {

struct RenderData;

// Reads the pixel at (x, y) of a world as alpha, red, green, blue floats. The caller keeps the
// position inside the world.
using GetPixelFunc = void (*)(const PF_LayerDef* world, int x, int y, PF_PixelFloat* out);
// Stores a working pixel at (x, y) of a world in the world's layout.
using SetPixelFunc = void (*)(PF_LayerDef* world, int x, int y, const PF_PixelFloat* pixel);
// Samples a world at a fractional position through the host's sampling suites.
using SamplePixelFunc = void (*)(const RenderData* context, PF_LayerDef* world, float x, float y,
                                 PF_PixelFloat* out);

struct RenderData {
  // This render's own copy of the effect's parameter block, filled by the effect's ParamsAssign
  // before any row runs and only read while they run.
  void* paramBlock;
  PF_InData* inData;
  PF_LayerDef* inputWorld;
  PF_LayerDef* outputWorld;
  // The format the frame is processed under: 'argb', 'ae16' or 'ae32' (Premiere Pro BGRA frames
  // are recorded as 'argb' or 'ae32').
  PF_PixelFormat pixelFormat;
  A_long bitsPerChannel;
  SamplePixelFunc AE_SamplePixel;
  // The reader that matches the frame's channel order.
  GetPixelFunc AE_GetPixel;
  SetPixelFunc AE_SetPixel;
  // The reader of the frame's depth in alpha, red, green, blue memory order, whatever the frame's
  // own order.
  GetPixelFunc AEPrem_GetPixel;
};

// The effect's block as its Process and ParamsAssign see it.
template <class Block>
const Block& BlockOf(const RenderData* rd) {
  return *static_cast<const Block*>(rd->paramBlock);
}
template <class Block>
Block* MutableBlockOf(RenderData* rd) {
  return static_cast<Block*>(rd->paramBlock);
}

}  // namespace tavu
