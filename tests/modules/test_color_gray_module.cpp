// Tintmap end to end: gray values looked up along the reference in every format of both hosts,
// classic and smart.
#include <cmath>

#include "effects/color_gray/parameters.h"
#include "tests/modules/effect_renders.h"

using namespace tavu::testing;
using namespace tavu::color_gray;
using tavu::hostsim::World;

namespace {

TEST(ColorGrayModule, LooksUpTheReferenceInEveryFormat) {
  enum Reference { kOwn, kSeparate, kOneRow, kNone };
  const struct {
    A_long source,
        lookup;  // popup values: 1 Average, 2 Luma, 3 Lightness; 1 Left-Right, 2 Top-Bottom
    double mix;
    Reference reference;
  } cases[] = {
      {1, 1, 100, kOwn}, {2, 1, 100, kSeparate}, {3, 2, 100, kSeparate}, {1, 2, 40, kSeparate},
      {2, 2, 10, kOwn},  {3, 1, 100, kOneRow},   {2, 2, 75, kOneRow},    {1, 1, 100, kNone},
  };
  ForEveryRender("tavu-Color Gray", [&](const EffectRender& r) {
    for (const auto& c : cases) {
      World separate = r.NewWorld(7, 4), oneRow = r.NewWorld(9, 1);
      separate.Fill([&](A_long x, A_long y) { return Varied(r.layout(), x, y, 2); });
      oneRow.Fill([&](A_long x, A_long y) { return Varied(r.layout(), x, y, 3); });
      auto request = r.Request();
      request.params = {{kGrayscaleSource, r.Popup(kGrayscaleSource, c.source)},
                        {kColorSourceLookup, r.Popup(kColorSourceLookup, c.lookup)},
                        {kMix, r.Slider(kMix, c.mix)}};
      if (c.reference == kSeparate) request.layers = {{kColorReference, separate.def()}};
      if (c.reference == kOneRow) request.layers = {{kColorReference, oneRow.def()}};
      if (c.reference == kNone) request.layers = {{kColorReference, nullptr}};
      ASSERT_EQ(r.session.Render(request), PF_Err_NONE) << r.Name();

      const World* ref = c.reference == kOwn        ? &r.input
                         : c.reference == kSeparate ? &separate
                         : c.reference == kOneRow   ? &oneRow
                                                    : nullptr;
      const float m = StoredMix(c.mix, r.macos()), keep = 1.0f - m;
      r.ExpectEveryPixel([&](A_long, A_long, const PF_PixelFloat& p) {
        float gray;
        if (c.source == 1) {
          gray = ((p.red + p.green) + p.blue) * FromBits(0x3EAAAA9F);
        } else if (c.source == 2) {
          gray = (FromBits(0x3E991687) * p.red + FromBits(0x3F1645A2) * p.green) +
                 FromBits(0x3DE978D5) * p.blue;
        } else {
          gray = (std::fmax(std::fmax(p.red, p.green), p.blue) +
                  std::fmin(std::fmin(p.red, p.green), p.blue)) *
                 0.5f;
        }
        gray = gray > 1.0f ? 1.0f : gray < 0.0f ? 0.0f : gray;  // the inputs hold no NaN
        PF_PixelFloat colour{1, 0, 0, 0};
        if (ref != nullptr) {
          const bool leftRight = c.lookup == 1;
          const A_long x = leftRight ? static_cast<A_long>(float(ref->width() - 1) * gray) : 0;
          const A_long y = leftRight ? 1 : static_cast<A_long>(float(ref->height() - 1) * gray);
          if (x < ref->width() && y < ref->height()) colour = WorkingPixel(*ref, x, y);
        }
        return PF_PixelFloat{keep * p.alpha + m, keep * p.red + m * colour.red,
                             keep * p.green + m * colour.green, keep * p.blue + m * colour.blue};
      });
    }
  });
}

}  // namespace
