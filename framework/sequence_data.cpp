// Sequence data: one flat handle per effect instance holding exactly the effect's parameter
// block. Only the utility callbacks are used, no suite.
#include <cstring>

#include "framework/effect_interface.h"
#include "framework/handlers.h"

namespace tavu::framework {
namespace {

A_HandleSize BlockSize() { return static_cast<A_HandleSize>(effect::kIdentity.blockSize); }

// The allocation path, the same for set-up and re-set-up.
PF_Err NewBlock(const PF_InData* in_data, PF_OutData* out_data) {
  const PF_UtilCallbacks* utils = in_data->utils;
  // Stored at once, a failed (null) allocation included, so the host never keeps a stale handle.
  out_data->sequence_data = utils->host_new_handle(BlockSize());
  if (out_data->sequence_data == nullptr) {
    utils->ansi.strcpy(out_data->return_msg, "Internal Error");
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
  // The block is flat and never flattened: the host stores these bytes as they are.
  out_data->flat_sdata_size = static_cast<A_long>(BlockSize());
  std::memset(*out_data->sequence_data, 0, effect::kIdentity.blockSize);
  return PF_Err_NONE;
}

}  // namespace

PF_Err SequenceSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  if (in_data->sequence_data == nullptr) return NewBlock(in_data, out_data);
  const PF_UtilCallbacks* utils = in_data->utils;
  if (utils->host_get_handle_size(in_data->sequence_data) != BlockSize()) {
    // A block of another size (an older project) keeps its leading bytes; the host may move the
    // handle, and writes the new one back through the address given. The next render refills
    // the block, so a failed resize changes nothing the module relies on.
    const PF_Handle before = in_data->sequence_data;
    utils->host_resize_handle(BlockSize(), &in_data->sequence_data);
    // A moved handle is also the answer: a host that takes the instance's handle from out_data
    // would otherwise keep the one the resize just freed.
    if (in_data->sequence_data != before) out_data->sequence_data = in_data->sequence_data;
  }
  return PF_Err_NONE;
}

PF_Err SequenceResetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  if (in_data->sequence_data != nullptr) return PF_Err_NONE;
  return NewBlock(in_data, out_data);
}

PF_Err SequenceSetdown(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  if (in_data->sequence_data == nullptr) return PF_Err_NONE;
  in_data->utils->host_dispose_handle(in_data->sequence_data);
  out_data->sequence_data = nullptr;
  in_data->sequence_data = nullptr;
  return PF_Err_NONE;
}

}  // namespace tavu::framework
