// The Mixara module: the framework around the Blending effect.
#include "effects/blending/blending.h"
#include "effects/blending/identity.h"
#include "framework/effect_module.h"

TAVU_EFFECT_MODULE(tavu::blending::Effect, tavu::blending::kIdentity)
