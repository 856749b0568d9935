// The Tintmap module: the framework around the Color Gray effect.
#include "effects/color_gray/color_gray.h"
#include "effects/color_gray/identity.h"
#include "framework/effect_module.h"

TAVU_EFFECT_MODULE(tavu::color_gray::Effect, tavu::color_gray::kIdentity)
