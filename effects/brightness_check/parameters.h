// The Brightness Check parameters, by index (ids equal indices; 0 is the input layer).
#pragma once

namespace tavu::brightness_check {

enum ParamIndex { kHighlightClamp = 1, kShadowClamp, kHighlightColor, kShadowColor, kMix };
inline constexpr int kParamCount = kMix;

}  // namespace tavu::brightness_check
