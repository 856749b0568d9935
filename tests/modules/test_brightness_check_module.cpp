// Lumaguard end to end: marking by luma in every format of both hosts, classic and smart.
#include "effects/brightness_check/parameters.h"
#include "tests/modules/effect_renders.h"

using namespace tavu::testing;
using namespace tavu::brightness_check;
using tavu::hostsim::Channels;
using tavu::hostsim::HostApp;

namespace {

TEST(BrightnessCheckModule, MarksByLumaInEveryFormat) {
  const struct {
    bool defaults;
    double highlight, shadow;  // After Effects' 0..1; Premiere Pro's are times 255
    PF_Pixel highlightColor, shadowColor;
    double mix;
  } cases[] = {
      {true, 1, 0, {255, 255, 0, 0}, {255, 0, 0, 255}, 100},
      {false, 0.6, 0.3, {255, 10, 200, 30}, {0, 250, 100, 5}, 30},
      {false, 0.2, 0.8, {9, 0, 255, 0}, {0, 1, 2, 3}, 55.5},  // every pixel marked
  };
  ForEveryRender("tavu-Brightness Check", [&](const EffectRender& r) {
    const bool premiere = r.format.app == HostApp::Premiere;
    const double full = tavu::hostsim::FullScale(r.layout());
    for (const auto& c : cases) {
      // White, black and a transparent pixel beside the varied ones.
      r.input.Set(0, 0, {full, full, full, full});
      r.input.Set(1, 0, {full, 0, 0, 0});
      r.input.Set(2, 0, {0, full / 2, full / 4, full / 8});
      auto request = r.Request();
      if (!c.defaults) {
        const double x = premiere ? 255 : 1;
        PF_ParamDef hc = r.session.Param(kHighlightColor), sc = r.session.Param(kShadowColor);
        hc.u.cd.value = c.highlightColor;
        sc.u.cd.value = c.shadowColor;
        request.params = {{kHighlightClamp, r.Slider(kHighlightClamp, c.highlight * x)},
                          {kShadowClamp, r.Slider(kShadowClamp, c.shadow * x)},
                          {kHighlightColor, hc},
                          {kShadowColor, sc},
                          {kMix, r.Slider(kMix, c.mix)}};
      }
      ASSERT_EQ(r.session.Render(request), PF_Err_NONE) << r.Name();

      // Thresholds as stored: Premiere Pro's 0..255 times the float nearest 1/255 (divided by
      // 255 on macOS); colours times that float; float frames weigh by Rec. 601, others 709.
      const float inv255 = FromBits(0x3B808081);
      const auto threshold = [&](double v) {
        if (!premiere) return static_cast<float>(v);
        const float p = static_cast<float>(v * 255);
        return r.macos() ? p / 255.0f : p * inv255;
      };
      const float hi = threshold(c.highlight), sh = threshold(c.shadow);
      const auto colour = [&](const PF_Pixel& p) {
        return PF_PixelFloat{p.alpha * inv255, p.red * inv255, p.green * inv255, p.blue * inv255};
      };
      const PF_PixelFloat hiColour = colour(c.highlightColor), shColour = colour(c.shadowColor);
      const bool floatFrame = tavu::hostsim::IsFloat(r.layout());
      const float wR = FromBits(floatFrame ? 0x3E991687 : 0x3E59999A);
      const float wG = FromBits(floatFrame ? 0x3F1645A2 : 0x3F372474);
      const float wB = FromBits(floatFrame ? 0x3DE978D5 : 0x3D93A92A);
      const float g = 1.0f - StoredMix(c.mix, r.macos()), h = 1.0f - g;
      r.ExpectEveryPixel([&](A_long, A_long, const PF_PixelFloat& p) {
        const float luma = (wR * p.red + wG * p.green) + wB * p.blue;
        PF_PixelFloat out = p;
        const PF_PixelFloat* marked = luma >= hi ? &hiColour : luma <= sh ? &shColour : nullptr;
        if (marked != nullptr) {
          out.red = h * marked->red + g * p.red;
          out.green = h * marked->green + g * p.green;
          out.blue = h * marked->blue + g * p.blue;
        }
        out.alpha = 1.0f;
        return out;
      });
      if (c.defaults) {
        // White's 8/16-bit luma is 0.99999994, below the default threshold; in float it is 1.
        const Channels white = r.output.Get(0, 0);
        const Channels kept{full, full, full, full}, highlight{1, 1, 0, 0};
        EXPECT_EQ(white, floatFrame ? highlight : kept) << r.Name();
        EXPECT_EQ(r.output.Get(1, 0), (Channels{full, 0, 0, full})) << r.Name() << ": black";
        EXPECT_EQ(r.output.Get(2, 0)[0], full) << r.Name() << ": transparent becomes opaque";
      }
    }
  });
}

}  // namespace
