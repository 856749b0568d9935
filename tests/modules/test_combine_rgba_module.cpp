// Chanweave end to end: routing and mix in every format of both hosts, classic and smart, with
// Input2 read in the frame's own channel order.
#include <array>

#include "effects/combine_rgba/parameters.h"
#include "tests/modules/effect_renders.h"

using namespace tavu::testing;
using namespace tavu::combine_rgba;
using tavu::hostsim::World;

namespace {

enum class Input2 { Smaller, TheLayer, NoLayer };

TEST(CombineRgbaModule, RoutesAndMixesInEveryFormat) {
  const struct {
    std::array<A_long, 4> popups;  // red, green, blue, alpha; value - 1 is the source code
    double mix;
    Input2 input2;
  } cases[] = {
      {{5, 3, 2, 8}, 100, Input2::Smaller},  // Input2 red and alpha; own green and blue exchanged
      {{3, 6, 1, 4}, 10, Input2::TheLayer},  // red and blue exchanged, Input2 green
      {{7, 5, 6, 8}, 30, Input2::Smaller},
      {{5, 6, 7, 8}, 100, Input2::NoLayer},
      // The layer's own red into red and its alpha into blue: in Premiere Pro's BGRA frames as
      // in After Effects, not the channels an alpha-first reading of BGRA memory would give.
      {{5, 2, 8, 4}, 100, Input2::TheLayer},
  };
  ForEveryRender("tavu-Combine RGBA", [&](const EffectRender& r) {
    for (const auto& c : cases) {
      World smaller = r.NewWorld(r.kWidth - 3, r.kHeight - 2);
      smaller.Fill([&](A_long x, A_long y) { return Varied(r.layout(), x, y, 1); });
      auto request = r.Request();
      request.params = {{kRedChannel, r.Popup(kRedChannel, c.popups[0])},
                        {kGreenChannel, r.Popup(kGreenChannel, c.popups[1])},
                        {kBlueChannel, r.Popup(kBlueChannel, c.popups[2])},
                        {kAlphaChannel, r.Popup(kAlphaChannel, c.popups[3])},
                        {kMix, r.Slider(kMix, c.mix)}};
      if (c.input2 == Input2::Smaller) request.layers = {{kInput2, smaller.def()}};
      if (c.input2 == Input2::NoLayer) request.layers = {{kInput2, nullptr}};
      ASSERT_EQ(r.session.Render(request), PF_Err_NONE) << r.Name();

      const World& second = c.input2 == Input2::TheLayer ? r.input : smaller;
      const float m = StoredMix(c.mix, r.macos());
      r.ExpectEveryPixel([&](A_long x, A_long y, const PF_PixelFloat& own) {
        const bool inside =
            c.input2 != Input2::NoLayer && x < second.width() && y < second.height();
        const PF_PixelFloat in2 = inside ? WorkingPixel(second, x, y) : PF_PixelFloat{0, 0, 0, 0};
        // Sources in code order: own red, green, blue, alpha, Input2 red, green, blue, alpha.
        const float sources[8] = {own.red, own.green, own.blue, own.alpha,
                                  in2.red, in2.green, in2.blue, in2.alpha};
        const float keep = 1.0f - m;
        return PF_PixelFloat{keep * own.alpha + m * sources[c.popups[3] - 1],
                             keep * own.red + m * sources[c.popups[0] - 1],
                             keep * own.green + m * sources[c.popups[1] - 1],
                             keep * own.blue + m * sources[c.popups[2] - 1]};
      });
    }
  });
}

}  // namespace
