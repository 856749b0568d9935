// The Combine RGBA parameters, by index (ids equal indices; 0 is the input layer).
#pragma once

namespace tavu::combine_rgba {

enum ParamIndex { kInput2 = 1, kRedChannel, kGreenChannel, kBlueChannel, kAlphaChannel, kMix };
inline constexpr int kParamCount = kMix;

// Shared by all four channel popups; a popup's value - 1 is its ChannelSource code.
inline constexpr char kChannelChoices[] =
    "Original Red|Original Green|Original Blue|Original Alpha|"
    "Input2 Red|Input2 Green|Input2 Blue|Input2 Alpha";

}  // namespace tavu::combine_rgba
