// The Lumaguard module: the framework around the Brightness Check effect.
#include "effects/brightness_check/brightness_check.h"
#include "effects/brightness_check/identity.h"
#include "framework/effect_module.h"

TAVU_EFFECT_MODULE(tavu::brightness_check::Effect, tavu::brightness_check::kIdentity)
