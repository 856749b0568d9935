// Who this effect is, as every part of the module reports it.
#pragma once

#include "framework/effect_interface.h"

namespace tavu::color_gray {

inline constexpr EffectIdentity kIdentity{
    "tavu-Color Gray",
    "ZELQ ColorGray",
    "convert grayscale to color based on a color reference (gradient for instance)\rby Velmar Oskend and Renolt Marquady",
    0,
    24,
};

}  // namespace tavu::color_gray
