// tavu-Blending rendered through the built modules' exports in every format of both hosts,
// classic and smart, with a second layer smaller than the frame. Expectations are worked out
// here from the stored channel values: the conversions, a few modes' formulas, the repetitions,
// the output channels and the final mix, written out independently of the module's code.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>

#include "tests/modules/effect_renders.h"

using namespace tavu::hostsim;
using tavu::testing::FromBits;

namespace {

constexpr PF_ParamIndex kInput2 = 1, kSwap = 2, kMode = 3, kIntensity = 4, kChannel = 5, kMix = 6;

// Popup values ("Blending Mode" value = mode number + 1; "Output Channel" from 1).
enum ModeChoice { kNormal = 1, kMultiply = 4, kAdd = 6, kDifference = 8, kScreen = 11,
                  kOverlay = 12 };
enum ChannelChoice { kRGB = 1, kRGBA, kRed, kGreen, kBlue, kAlpha };

struct Pixel {
  float c[4];  // alpha, red, green, blue
};

// The working value of each stored channel, and back (Working and Stored of effect_renders.h).
Pixel Normalised(const World& w, A_long x, A_long y) {
  const Channels v = w.Get(x, y);
  Pixel p;
  for (int c = 0; c < 4; ++c) p.c[c] = tavu::testing::Working(w.layout(), v[c]);
  return p;
}

Channels Stored(Layout layout, const Pixel& p) {
  Channels v;
  for (int c = 0; c < 4; ++c) v[c] = tavu::testing::Stored(layout, p.c[c]);
  return v;
}

// Raw per-channel results; t is the base, o the blend.
float Raw(int mode, float t, float o) {
  switch (mode) {
    case kNormal: return o;
    case kMultiply: return t * o;
    case kAdd: return t + o >= 1.0f ? 1.0f : t + o;
    case kDifference: return std::fabs(t - o);
    case kScreen: return 1.0f - ((1.0f - t) * (1.0f - o));
    case kOverlay: return t >= 0.5f ? 1.0f - ((1.0f - o) * ((1.0f - t) * 2.0f)) : (t * 2.0f) * o;
  }
  ADD_FAILURE() << "no formula for mode " << mode;
  return 0.0f;
}

float Clamp01(float v) { return v > 1.0f ? 1.0f : (v >= 0.0f ? v : 0.0f); }

struct Setting {
  const char* what;
  int mode, intensity, channel;
  bool swap;
  double percent;
  float windowsMix, macosMix;  // "Mix" / 100 as each build stores it
  bool noPixels = false;       // "Input 2" names no layer
};

const Setting kSettings[] = {
    {"Multiply, Green", kMultiply, 1, kGreen, false, 100, 1.0f, 1.0f},
    {"Screen x3, RGB, swapped, Mix 75", kScreen, 3, kRGB, true, 75, 0.75f, 0.75f},
    {"Difference x2, RGBA, Mix 10", kDifference, 2, kRGBA, false, 10, FromBits(0x3DCCCCCC),
     FromBits(0x3DCCCCCD)},
    {"Add x5, Red, Mix 50", kAdd, 5, kRed, false, 50, 0.5f, 0.5f},
    {"Overlay, Alpha, swapped, Mix 25", kOverlay, 1, kAlpha, true, 25, 0.25f, 0.25f},
    {"Overlay x2, Blue, no second layer", kOverlay, 2, kBlue, false, 100, 1.0f, 1.0f, true},
};

// The expected output pixel at (x, y).
Pixel Expected(const Setting& s, float m, const World& input, const World* second, A_long x,
               A_long y) {
  const Pixel p = Normalised(input, x, y);
  Pixel sample{{0, 0, 0, 0}};
  if (second != nullptr && x < second->width() && y < second->height()) {
    sample = Normalised(*second, x, y);
    sample.c[0] = 1.0f;
  }
  const Pixel base = s.swap ? sample : p;
  const Pixel top = s.swap ? p : sample;
  const float keep = 1.0f - m;

  Pixel cur = base;
  for (int n = 0; n < s.intensity; ++n) {
    for (int c = 1; c < 4; ++c) {
      cur.c[c] = Clamp01((keep * cur.c[c]) + (m * Raw(s.mode, cur.c[c], top.c[c])));
    }
    cur.c[0] = 1.0f;
  }
  Pixel q = base;
  switch (s.channel) {
    case kRGB: q = cur, q.c[0] = base.c[0]; break;
    case kRGBA: q = cur; break;
    default: {
      const int from = s.channel == kAlpha ? 0 : s.channel - kRed + 1;  // Red, Green, Blue
      q.c[from] = cur.c[from];
    }
  }
  Pixel out;
  for (int c = 0; c < 4; ++c) out.c[c] = (keep * base.c[c]) + (m * q.c[c]);
  return out;
}

using Format = tavu::hostsim::FrameFormat;
const auto& kFormats = tavu::hostsim::kFrameFormats;

// Stored values from 0..255 scaled to the layout's full scale, so every depth sees the same
// colours.
void FillScaled(World& w, Channels (*units)(A_long x, A_long y)) {
  const double scale = FullScale(w.layout()) / 255.0;
  w.Fill([&](A_long x, A_long y) {
    Channels v = units(x, y);
    for (double& c : v) c = IsFloat(w.layout()) ? c * scale : std::round(c * scale);
    return v;
  });
}

// The frame 5 x 4; the second layer 3 x 2 with padded rows and alphas well below full, every
// channel different so a channel read from the wrong place shows.
struct Scene {
  Scene(Layout layout, PF_PixelFormat format)
      : input(layout, 5, 4, Options(format, 0)),
        output(layout, 5, 4, Options(format, 0)),
        second(layout, 3, 2, Options(format, 2 * static_cast<A_long>(ChannelSize(layout)))) {
    FillScaled(input, [](A_long x, A_long y) {
      return Channels{255.0 - 23 * x - 11 * y, 40.0 + 50 * x, 30.0 + 60 * y,
                      double((97 + 37 * x + 53 * y) % 256)};
    });
    FillScaled(second, [](A_long x, A_long y) {
      return Channels{60.0 + 40 * x, 200.0 - 70 * x, 20.0 + 100 * y, 128.0 + 30 * x - 50 * y};
    });
  }
  static WorldOptions Options(PF_PixelFormat format, A_long padding) {
    WorldOptions o;
    o.format = format;
    o.rowPadding = padding;
    return o;
  }
  World input, output, second;
};

// Sets the parameters of one render.
RenderRequest Request(const Session& session, Scene& scene, const Setting& s, bool smart,
                      const PF_LayerDef* noPixels) {
  RenderRequest r{&scene.input, &scene.output, smart};
  PF_ParamDef swap = session.Param(kSwap), mode = session.Param(kMode),
              intensity = session.Param(kIntensity), channel = session.Param(kChannel),
              mix = session.Param(kMix);
  swap.u.bd.value = s.swap ? 1 : 0;
  mode.u.pd.value = static_cast<A_short>(s.mode);
  intensity.u.sd.value = s.intensity;
  channel.u.pd.value = static_cast<A_short>(s.channel);
  mix.u.fs_d.value = s.percent;
  r.params = {{kSwap, swap}, {kMode, mode}, {kIntensity, intensity}, {kChannel, channel},
              {kMix, mix}};
  r.layers = {{kInput2, s.noPixels ? noPixels : scene.second.def()}};
  return r;
}

std::string Describe(const Channels& v) {
  std::ostringstream text;
  text << std::setprecision(9) << "(" << v[0] << ", " << v[1] << ", " << v[2] << ", " << v[3]
       << ")";
  return text.str();
}

TEST(BlendingModule, RendersEveryFormatOfBothHostsAsWorkedOut) {
  // A layer parameter naming no layer, whatever size it reports, counts as outside everywhere.
  PF_LayerDef noPixels{};
  noPixels.width = 5;
  noPixels.height = 4;

  for (const auto& built : tavu::testing::BuiltModules()) {
    if (built.displayName != "tavu-Blending") continue;
    Module module(built.path);
    for (const Format& f : kFormats) {
      Host host(f.app);
      Session session(host, module);
      ASSERT_EQ(session.Setup(), PF_Err_NONE);
      for (bool smart : {false, true}) {
        for (const Setting& s : kSettings) {
          SCOPED_TRACE(built.path + ", " + LayoutName(f.layout) + (smart ? ", smart, " : ", ") +
                       s.what);
          Scene scene(f.layout, f.code);
          ASSERT_EQ(session.Render(Request(session, scene, s, smart, &noPixels)), PF_Err_NONE);
          const float m = built.macosArithmetic ? s.macosMix : s.windowsMix;
          int wrong = 0;
          for (A_long y = 0; y < 4; ++y) {
            for (A_long x = 0; x < 5; ++x) {
              const World* second = s.noPixels ? nullptr : &scene.second;
              const Channels want = Stored(f.layout, Expected(s, m, scene.input, second, x, y));
              const Channels got = scene.output.Get(x, y);
              if (got != want && wrong++ == 0) {
                ADD_FAILURE() << "at (" << x << ", " << y << "): got " << Describe(got)
                              << ", want " << Describe(want);
              }
            }
          }
          EXPECT_EQ(wrong, 0);
          EXPECT_TRUE(scene.output.OutsideIntact());
          if (IsFloat(f.layout) && s.windowsMix != s.macosMix) {
            // The case must tell the two builds' "Mix" apart somewhere in a float frame.
            int differ = 0;
            for (A_long y = 0; y < 4; ++y) {
              for (A_long x = 0; x < 5; ++x) {
                const Pixel a = Expected(s, s.windowsMix, scene.input, &scene.second, x, y);
                const Pixel b = Expected(s, s.macosMix, scene.input, &scene.second, x, y);
                differ += std::memcmp(&a, &b, sizeof a) != 0;
              }
            }
            EXPECT_GT(differ, 0);
          }
        }
      }
      EXPECT_EQ(session.Setdown(), PF_Err_NONE);
    }
  }
}

// Premiere Pro's BGRA frames hold the second layer in blue, green, red, alpha order too; read in
// the frame's own order it blends the same colours as in After Effects. (Read as alpha, red,
// green, blue, its blue would stand in for alpha and its green for red.) Normal at Mix 100 puts
// the second layer's colour, fully opaque, wherever it lies.
TEST(BlendingModule, PremiereBgraBlendsTheSameColoursAsAfterEffects) {
  const Setting normal{"Normal, RGBA", kNormal, 1, kRGBA, false, 100, 1.0f, 1.0f};
  const struct {
    Layout ae, premiere;
  } pairs[] = {{Layout::Argb8, Layout::Bgra8}, {Layout::ArgbFloat, Layout::BgraFloat}};
  for (const auto& built : tavu::testing::BuiltModules()) {
    if (built.displayName != "tavu-Blending") continue;
    Module module(built.path);
    // One simulated host at a time: each render gets its own, and the scene outlives it.
    const auto render = [&](HostApp app, Layout layout, bool smart) {
      Scene scene(layout, 0);
      Host host(app);
      Session session(host, module);
      EXPECT_EQ(session.Setup(), PF_Err_NONE);
      EXPECT_EQ(session.Render(Request(session, scene, normal, smart, nullptr)), PF_Err_NONE);
      EXPECT_EQ(session.Setdown(), PF_Err_NONE);
      return scene;
    };
    for (const auto& pair : pairs) {
      for (bool smart : {false, true}) {
        SCOPED_TRACE(built.path + ", " + LayoutName(pair.premiere) + (smart ? ", smart" : ""));
        const Scene ae = render(HostApp::AfterEffects, pair.ae, smart);
        const Scene premiere = render(HostApp::Premiere, pair.premiere, smart);
        const double full = FullScale(pair.ae);
        for (A_long y = 0; y < 4; ++y) {
          for (A_long x = 0; x < 5; ++x) {
            SCOPED_TRACE("at (" + std::to_string(x) + ", " + std::to_string(y) + ")");
            Channels want{full, 0, 0, 0};
            if (x < 3 && y < 2) {
              const Channels second = ae.second.Get(x, y);
              want = {full, second[1], second[2], second[3]};
            }
            EXPECT_EQ(ae.output.Get(x, y), want);
            EXPECT_EQ(premiere.output.Get(x, y), want);
          }
        }
      }
    }
  }
}

}  // namespace
