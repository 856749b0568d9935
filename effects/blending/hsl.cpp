#include "effects/blending/hsl.h"

namespace tavu::blending {
inline namespace TAVU_ARITHMETIC {

#if !TAVU_MACOS_ARITHMETIC

PF_PixelFloat InitPixelFloat(float red, float green, float blue, float alpha) {
  return PF_PixelFloat{alpha, red, green, blue};
}

PF_PixelFloat BlendHue(const PF_PixelFloat* base, const PF_PixelFloat* blend) {
  return CombineHsl(base, blend, kHslHue);
}

PF_PixelFloat BlendSaturation(const PF_PixelFloat* base, const PF_PixelFloat* blend) {
  return CombineHsl(base, blend, kHslSaturation);
}

PF_PixelFloat BlendColor(const PF_PixelFloat* base, const PF_PixelFloat* blend) {
  return CombineHsl(base, blend, kHslColor);
}

PF_PixelFloat BlendLuminosity(const PF_PixelFloat* base, const PF_PixelFloat* blend) {
  return CombineHsl(base, blend, kHslLuminosity);
}

#endif

}  // namespace TAVU_ARITHMETIC
}  // namespace tavu::blending
