#include "effects/blending/blend_kernel.h"

namespace tavu::blending {

PF_PixelFloat HslModeResult(const PF_PixelFloat& base, const PF_PixelFloat& blend, int32_t mode) {
  switch (mode) {
    case kBlendHue: return CombineHsl(&base, &blend, kHslHue);
    case kBlendSaturation: return CombineHsl(&base, &blend, kHslSaturation);
    case kBlendColor: return CombineHsl(&base, &blend, kHslColor);
    default: return CombineHsl(&base, &blend, kHslLuminosity);  // 28, above 28, negative
  }
}

}  // namespace tavu::blending
