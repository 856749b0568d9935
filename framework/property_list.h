// The plug-in property list ("PIPL" resource) that a Windows module carries beside its code: the
// host reads it before loading the module, so it must say what PluginDataEntryFunction and
// global set-up say. It is built from the effect's identity and the shared constants, never
// typed in by hand.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/effect_interface.h"

namespace tavu::framework {

inline constexpr int kPropertyListResourceId = 16000;
inline constexpr int kPropertyListLanguage = 1033;  // English (United States)

// The resource bytes, header and twelve properties, little-endian, padded as the host expects.
std::vector<uint8_t> BuildPropertyList(const EffectIdentity& identity);

// Resource-compiler source that embeds `bytes` as resource type "PIPL", id 16000, language
// 1033. The data is written as 16-bit words, which a property list always fills exactly.
std::string PropertyListResourceScript(const EffectIdentity& identity,
                                       const std::vector<uint8_t>& bytes);

}  // namespace tavu::framework
