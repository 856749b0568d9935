// The Color Gray parameters, by index (ids equal indices; 0 is the input layer).
#pragma once

namespace tavu::color_gray {

enum ParamIndex { kColorReference = 1, kGrayscaleSource, kColorSourceLookup, kMix };
inline constexpr int kParamCount = kMix;

inline constexpr char kGraySourceChoices[] = "Average|Luma|Lightness";
inline constexpr char kLookupChoices[] = "Left-Right|Top-Bottom";

}  // namespace tavu::color_gray
