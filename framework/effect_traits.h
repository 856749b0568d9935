// What an effect hands to the render pipeline: one traits type, named in the effect's two render
// entry points. The render commands, the driver and the row routines are templates over it, so
// the effect's Process is visible to the per-pixel loops and inlines there; the framework itself
// names no effect.
//
//   struct MyEffect {
//     // The effect's parameter values as its Process reads them. Every render makes its own
//     // value-initialised copy on its stack and points RenderData::paramBlock at it, so
//     // overlapping renders of one instance never share it. Trivially copyable.
//     using ParamBlock = MyBlock;
//
//     // Parameters 1..kParamCount are checked out for every render and checked in after it.
//     static constexpr int kParamCount = N;
//
//     // Copies the checked-out values (params[1..N], indexed by parameter index) into the block
//     // that rd->paramBlock points to. rd's paramBlock, inData, inputWorld and outputWorld are
//     // set; the rest is the driver's. Its result is not examined.
//     static PF_Err ParamsAssign(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
//                                PF_LayerDef* input, PF_LayerDef* output, RenderData* rd);
//
//     // The per-pixel routine: (x, y) is the output position, *pixel the input pixel on entry and
//     // the result on return. Called for many rows at once from several threads: it reads rd and
//     // the block and writes only *pixel.
//     static void Process(int x, int y, PF_PixelFloat* pixel, const RenderData* rd);
//
//     // Optional: a block field that is fixed per render and chooses Process's arithmetic, with
//     // the range of values that get a pixel loop of their own (see RowConstant below).
//     using RowConstant = framework::RowConstant<&MyBlock::mode, 0, 9>;
//   };
//
// and then, in the effect's source:
//
//   PF_Err Render(PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output) {
//     return framework::RenderCommand<MyEffect>(in, out, params, output);
//   }
//   PF_Err SmartRender(PF_InData* in, PF_OutData* out, PF_SmartRenderExtra* extra) {
//     return framework::SmartRenderCommand<MyEffect>(in, out, extra);
//   }
#pragma once

#include <cstdint>
#include <type_traits>

#include "framework/render_data.h"

namespace tavu::framework {

using ParamsAssignFunc = PF_Err (*)(PF_InData* in_data, PF_OutData* out_data,
                                    PF_ParamDef* params[], PF_LayerDef* input,
                                    PF_LayerDef* output, RenderData* rd);
using ProcessFunc = void (*)(int x, int y, PF_PixelFloat* pixel, const RenderData* rd);

// A block field that is fixed per render and chooses between code paths in Process (a mode popup,
// say), and the values First..Last worth a loop of their own. A row of a render whose field holds
// one of those values runs a pixel loop compiled for exactly that value: Process reads a copy of
// the block in which the field is that constant, so the choice is made once per row instead of
// once per pixel and the code of the other choices drops out. Other values run the general loop.
// Each value costs one more copy of the pixel loop per layout in the module.
template <auto Field, int32_t First, int32_t Last>
struct RowConstant {
  static_assert(First <= Last, "RowConstant: an empty range");
  static constexpr auto kField = Field;
  static constexpr int32_t kFirst = First;
  static constexpr int32_t kCount = Last - First + 1;
};

// Fails to compile, with a message naming the missing piece, when Effect breaks the contract.
template <class Effect>
constexpr bool CheckEffectTraits() {
  using Block = typename Effect::ParamBlock;
  static_assert(std::is_trivially_copyable_v<Block>, "ParamBlock must be trivially copyable");
  static_assert(std::is_default_constructible_v<Block>, "ParamBlock must be value-initialisable");
  static_assert(Effect::kParamCount >= 0, "kParamCount counts parameters 1..N");
  static_assert(std::is_same_v<decltype(&Effect::ParamsAssign), ParamsAssignFunc>,
                "ParamsAssign(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef* input, "
                "PF_LayerDef* output, RenderData*) -> PF_Err");
  static_assert(std::is_same_v<decltype(&Effect::Process), ProcessFunc>,
                "Process(int x, int y, PF_PixelFloat*, const RenderData*) -> void");
  return true;
}

}  // namespace tavu::framework
