// The render driver: turns one render command into rows of pixels. It asks the host for the
// output world's pixel format, records the format, the bits per channel and the layout's routine
// set in RenderData, and runs the rows: in After Effects through the host's iterate suites (one
// call per row, possibly several rows at once), in Premiere Pro through its own frame loops.
#pragma once

#include "framework/render_data.h"
#include "framework/row_routines.h"

namespace tavu::framework {

// Results: 0; the World Suite's or Pixel Format Suite's acquisition error; 514 for a Premiere Pro
// frame that is neither 8-bit nor float BGRA; 516 for an After Effects frame outside 'argb',
// 'ae16', 'ae32' or a suite the render calls that the host acquires without handing out (the
// World Suite in After Effects, the Pixel Format Suite in Premiere Pro); iterate_origin's own
// error. A missing iterate suite throws the integer 516 after the World Suite has been released.
PF_Err DoRender(PF_InData* in_data, PF_LayerDef* input, RenderData* rd, PF_OutData* out_data,
                PF_LayerDef* output, PF_ParamDef* params[], const RowRoutines& routines);

template <class Effect>
PF_Err DoRender(PF_InData* in_data, PF_LayerDef* input, RenderData* rd, PF_OutData* out_data,
                PF_LayerDef* output, PF_ParamDef* params[]) {
  return DoRender(in_data, input, rd, out_data, output, params, kRowRoutines<Effect>);
}


}  // namespace tavu::framework
