// The Chanweave module: the framework around the Combine RGBA effect.
#include "effects/combine_rgba/combine_rgba.h"
#include "effects/combine_rgba/identity.h"
#include "framework/effect_module.h"

TAVU_EFFECT_MODULE(tavu::combine_rgba::Effect, tavu::combine_rgba::kIdentity)
