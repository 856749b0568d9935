// Who this effect is, as every part of the module reports it.
#pragma once

#include "framework/effect_interface.h"

namespace tavu::brightness_check {

inline constexpr EffectIdentity kIdentity{
    "tavu-Brightness Check",
    "ZELQ BrightnessCheck",
    "Check brightness pixels in the image\rby Velmar Oskend and Renolt Marquady",
    PF_OutFlag2_PPRO_DO_NOT_CLONE_SEQUENCE_DATA_FOR_RENDER,
    44,
};

}  // namespace tavu::brightness_check
