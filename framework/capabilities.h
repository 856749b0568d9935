// The capability flags the module declares. Global set-up writes them and the property list
// carries the After Effects pair; both take them from DeclaredFlags, so the two cannot drift.
#pragma once

#include "platform/pf_effect.h"

namespace tavu::framework {

enum class HostApp { AfterEffects, Premiere };

inline HostApp HostOf(const PF_InData* in_data) {
  return in_data->appl_id == PF_APPL_ID_PREMIERE ? HostApp::Premiere : HostApp::AfterEffects;
}

struct OutFlagWords {
  PF_OutFlags outFlags;
  PF_OutFlags2 outFlags2;
};

// Declared by every effect on every host: the render reads no neighbouring pixel, honours the
// output extent and renders on many threads through smart render. The mutable-sequence-data flag
// is declared for the host's sake, as these effects have always declared it: each render fills
// its own copy of the parameter block (render_commands.h) and leaves the sequence data's bytes as
// set-up wrote them.
inline constexpr PF_OutFlags kCommonOutFlags =
    PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_USE_OUTPUT_EXTENT;
inline constexpr PF_OutFlags2 kCommonOutFlags2 =
    PF_OutFlag2_MUTABLE_RENDER_SEQUENCE_DATA_SLOWER | PF_OutFlag2_SUPPORTS_THREADED_RENDERING |
    PF_OutFlag2_SUPPORTS_SMART_RENDER | PF_OutFlag2_DOESNT_NEED_EMPTY_PIXELS;

// Deep and float colour are After Effects' business: Premiere Pro is told about its one pixel
// format through the pixel-format suite instead.
constexpr OutFlagWords DeclaredFlags(HostApp host, PF_OutFlags2 effectOutFlags2) {
  if (host == HostApp::Premiere) return {kCommonOutFlags, kCommonOutFlags2 | effectOutFlags2};
  return {kCommonOutFlags | PF_OutFlag_DEEP_COLOR_AWARE,
          kCommonOutFlags2 | PF_OutFlag2_FLOAT_COLOR_AWARE | effectOutFlags2};
}

}  // namespace tavu::framework
