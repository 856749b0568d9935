// Who this effect is, as every part of the module reports it.
#pragma once

#include "framework/effect_interface.h"

namespace tavu::combine_rgba {

inline constexpr EffectIdentity kIdentity{
    "tavu-Combine RGBA",
    "ZELQ CombineRGBA",
    "Combine RGBA channels from 2 sources\rby Velmar Oskend and Renolt Marquady",
    0,
    32,
};

}  // namespace tavu::combine_rgba
