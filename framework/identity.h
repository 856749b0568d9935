// Facts shared by every effect of the family.
#pragma once

#include "platform/pf_basic.h"

namespace tavu {

// One category for all four effects, in the host's effect menu and in the property list.
inline constexpr const char kCategoryName[] = "tavu";
inline constexpr const char kEntryPointName[] = "EffectMain";

inline constexpr A_long kEffectApiMajor = 13;
inline constexpr A_long kEffectApiMinor = 27;
inline constexpr A_long kReservedInfo = 8;

// Version 3.0, fix level 0, stage develop, build 0, packed the host's way.
inline constexpr A_long kMajorVersion = 3;
inline constexpr A_long kMinorVersion = 0;
inline constexpr A_u_long kVersionWord = 0x00180000;

}  // namespace tavu
