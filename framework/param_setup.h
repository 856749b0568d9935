// Parameters as data: each effect describes its parameters in one table, and ParamsSetup walks
// it. The host learns the parameters in table order, ids equal to their indices from 1.
#pragma once

#include <cstdint>

#include "framework/arithmetic.h"
#include "platform/pf_effect.h"

namespace tavu::framework {

struct ParamSpec {
  PF_ParamType type;
  const char* name;
  // Default: a popup's 1-based choice, a checkbox's 0 or 1, a slider's value.
  double value = 0;
  double validMin = 0, validMax = 0;
  double sliderMin = 0, sliderMax = 0;
  // Popup: the choices separated by '|'. Checkbox: the text beside the box.
  const char* text = nullptr;
  A_short precision = 0;
  A_short displayFlags = 0;
  PF_Pixel color{};  // colour default
};

// The layer parameter: defaults to the layer the effect is applied to.
ParamSpec LayerParam(const char* name);
ParamSpec CheckboxParam(const char* name, bool value);
ParamSpec PopupParam(const char* name, const char* choices, int defaultChoice);
ParamSpec SliderParam(const char* name, int min, int max, int value);
ParamSpec FloatSliderParam(const char* name, double min, double max, double value,
                           A_short precision, A_short displayFlags);
ParamSpec ColorParam(const char* name, PF_Pixel value);
// Every effect's last parameter: 0..100 %, default 100, hundredths.
ParamSpec MixParam();

// Number of '|'-separated choices in a popup's choice string.
A_short CountChoices(const char* choices);

// Adds the parameters in order through add_param and, when all were added, reports their number
// plus the input layer in num_params. The first failing addition ends it with that error.
PF_Err AddParameters(PF_InData* in_data, PF_OutData* out_data, const ParamSpec* specs, int count);

template <int N>
PF_Err AddParameters(PF_InData* in_data, PF_OutData* out_data, const ParamSpec (&specs)[N]) {
  return AddParameters(in_data, out_data, specs, N);
}

// A popup's value as the blocks store it: value - 1. A host sends 1..the number of choices; any
// other value still yields a code (outside every effect's range, so each treats it as its
// out-of-range case) instead of overflowing at the lowest value: the subtraction wraps.
inline int32_t PopupCode(PF_ParamValue value) {
  return static_cast<int32_t>(static_cast<uint32_t>(value) - 1u);
}

inline namespace TAVU_ARITHMETIC {
// The "Mix" percentage as the block stores it: the slider value in single precision times the
// single-precision 0.01 (the macOS build divides by 100 instead; the two can differ in the last
// bit).
inline float MixFactor(double percent) {
#if TAVU_MACOS_ARITHMETIC
  return static_cast<float>(percent) / 100.0f;
#else
  return static_cast<float>(percent) * 0.01f;
#endif
}
}  // namespace TAVU_ARITHMETIC

}  // namespace tavu::framework
