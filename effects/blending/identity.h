// Who this effect is, as every part of the module reports it.
#pragma once

#include "framework/effect_interface.h"

namespace tavu::blending {

inline constexpr EffectIdentity kIdentity{
    "tavu-Blending",
    "ZELQ Blending",
    "Blending mode operation between two layers\rby Velmar Oskend and Renolt Marquady",
    0,
    32,
};

}  // namespace tavu::blending
