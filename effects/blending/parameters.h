// The Blending parameters, by index (ids equal indices; 0 is the input layer).
#pragma once

namespace tavu::blending {

enum ParamIndex { kInput2 = 1, kSwapInputs, kBlendingMode, kIntensity, kOutputChannel, kMix };
inline constexpr int kParamCount = kMix;

inline constexpr char kOutputChannelChoices[] = "RGB|RGBA|Red|Green|Blue|Alpha";

}  // namespace tavu::blending
