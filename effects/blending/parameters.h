// The Blending parameters, by index (ids equal indices; 0 is the input layer).
#pragma once

namespace tavu::blending {

enum ParamIndex { kInput2 = 1, kSwapInputs, kBlendingMode, kIntensity, kOutputChannel, kMix };
inline constexpr int kParamCount = kMix;

// The "Intensity" slider's top: the kernel runs at most this many times per pixel.
inline constexpr int kMaxIntensity = 5;

inline constexpr char kOutputChannelChoices[] = "RGB|RGBA|Red|Green|Blue|Alpha";

}  // namespace tavu::blending
