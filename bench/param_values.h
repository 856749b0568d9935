// Parameter values by index, set on a render request the way the benchmarks and the output
// digests both choose their settings.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "hostsim/session.h"

namespace tavu::bench {

// Popups, checkboxes and sliders take the value as an integer, a colour as 0xAARRGGBB.
using ParamValues = std::vector<std::pair<PF_ParamIndex, double>>;

inline void SetValue(PF_ParamDef& def, double v) {
  switch (def.param_type) {
    case PF_Param_POPUP: def.u.pd.value = static_cast<A_long>(v); break;
    case PF_Param_CHECKBOX: def.u.bd.value = static_cast<A_long>(v); break;
    case PF_Param_SLIDER: def.u.sd.value = static_cast<A_long>(v); break;
    case PF_Param_FLOAT_SLIDER: def.u.fs_d.value = v; break;
    case PF_Param_COLOR: {
      const uint32_t c = static_cast<uint32_t>(v);
      def.u.cd.value = PF_Pixel{static_cast<A_u_char>(c >> 24), static_cast<A_u_char>(c >> 16),
                                static_cast<A_u_char>(c >> 8), static_cast<A_u_char>(c)};
      break;
    }
    default: break;
  }
}

// The values, each on its parameter's current definition, for this request only.
inline void SetParams(const hostsim::Session& session, const ParamValues& values,
                      hostsim::RenderRequest& request) {
  for (const auto& [index, value] : values) {
    PF_ParamDef def = session.Param(index);
    SetValue(def, value);
    request.params[index] = def;
  }
}

}  // namespace tavu::bench
