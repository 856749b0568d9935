// End-to-end renders of a built effect module: every variant built here (Windows and macOS
// arithmetic), every format of both hosts, classic and smart render. The test renders and states
// the expected working pixel by its own formulas; the stored values are converted here the way
// the hosts' formats define them.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "hostsim/frame_formats.h"
#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/session.h"
#include "tests/modules/module_paths.h"

namespace tavu::testing {

inline float FromBits(uint32_t u) {
  float v;
  std::memcpy(&v, &u, 4);
  return v;
}

// "Mix" as each build stores it: times the float 0.01 (0x3C23D70A), or divided by 100 on macOS.
inline float StoredMix(double percent, bool macos) {
  const float p = static_cast<float>(percent);
  return macos ? p / 100.0f : p * FromBits(0x3C23D70A);
}

using HostFormat = hostsim::FrameFormat;

// A stored channel as the working pixel carries it: 8-bit values times the float nearest 1/255
// (0x3B808081), 16-bit values times 2^-15, floats as stored.
inline float Working(hostsim::Layout layout, double stored) {
  if (hostsim::IsFloat(layout)) return static_cast<float>(stored);
  const float scale = hostsim::ChannelSize(layout) == 1 ? FromBits(0x3B808081) : 0x1p-15f;
  return static_cast<float>(stored) * scale;
}

// A working value stored back: times 255 or 32768 in single precision, truncated toward zero.
inline double Stored(hostsim::Layout layout, float v) {
  if (hostsim::IsFloat(layout)) return v;
  const float product = v * (hostsim::ChannelSize(layout) == 1 ? 255.0f : 32768.0f);
  return std::trunc(product);
}

inline PF_PixelFloat WorkingPixel(const hostsim::World& w, A_long x, A_long y) {
  const hostsim::Channels c = w.Get(x, y);
  return {Working(w.layout(), c[0]), Working(w.layout(), c[1]), Working(w.layout(), c[2]),
          Working(w.layout(), c[3])};
}

// Stored values that differ by position, channel and seed; floats reach past 0..1 on both sides.
inline hostsim::Channels Varied(hostsim::Layout layout, A_long x, A_long y, int seed) {
  hostsim::Channels c;
  for (int i = 0; i < 4; ++i) {
    const int v = (x * 37 + y * 91 + i * 53 + seed * 71) % 256;
    c[i] = hostsim::IsFloat(layout)            ? v / 204.0 - 0.125
           : hostsim::ChannelSize(layout) == 1 ? v
                                               : v * 128 + i;
  }
  return c;
}

// What a test sees of one render setting: the module variant, the format, the instance, and a
// fresh input (Varied, seed 0) and output of kWidth x kHeight.
struct EffectRender {
  static constexpr A_long kWidth = 13, kHeight = 7;
  const BuiltModule& module;
  const HostFormat& format;
  bool smart;
  hostsim::Session& session;
  hostsim::World& input;
  hostsim::World& output;

  bool macos() const { return module.macosArithmetic; }
  hostsim::Layout layout() const { return format.layout; }
  std::string Name() const {
    return std::string(format.name) + (smart ? " smart" : " classic") +
           (macos() ? " macOS" : " Windows");
  }
  hostsim::World NewWorld(A_long width, A_long height) const {
    hostsim::WorldOptions options;
    options.format = format.code;
    return hostsim::World(layout(), width, height, options);
  }
  hostsim::RenderRequest Request() const { return {&input, &output, smart}; }
  PF_ParamDef Popup(PF_ParamIndex index, A_long value) const {
    PF_ParamDef d = session.Param(index);
    d.u.pd.value = value;
    return d;
  }
  PF_ParamDef Slider(PF_ParamIndex index, double value) const {
    PF_ParamDef d = session.Param(index);
    d.u.fs_d.value = value;
    return d;
  }

  // Every output pixel against expect(x, y, input working pixel), compared as stored values.
  void ExpectEveryPixel(
      const std::function<PF_PixelFloat(A_long, A_long, const PF_PixelFloat&)>& expect) const {
    int wrong = 0;
    for (A_long y = 0; y < output.height(); ++y) {
      for (A_long x = 0; x < output.width(); ++x) {
        const PF_PixelFloat w = expect(x, y, WorkingPixel(input, x, y));
        const hostsim::Channels want{Stored(layout(), w.alpha), Stored(layout(), w.red),
                                     Stored(layout(), w.green), Stored(layout(), w.blue)};
        const hostsim::Channels got = output.Get(x, y);
        if (got != want && wrong++ == 0) {
          ADD_FAILURE() << Name() << " at (" << x << ", " << y << "): got " << got[0] << " "
                        << got[1] << " " << got[2] << " " << got[3] << ", want " << want[0] << " "
                        << want[1] << " " << want[2] << " " << want[3];
        }
      }
    }
    EXPECT_EQ(wrong, 0) << Name() << ": pixels differing";
    EXPECT_TRUE(output.OutsideIntact()) << Name();
  }
};

// Runs body once for every variant of the module named displayName, every format and both render
// commands, each on a freshly set-up instance.
inline void ForEveryRender(const std::string& displayName,
                           const std::function<void(const EffectRender&)>& body) {
  int variants = 0;
  for (const BuiltModule& m : BuiltModules()) {
    if (m.displayName != displayName) continue;
    ++variants;
    hostsim::Module module(m.path);
    for (const HostFormat& f : hostsim::kFrameFormats) {
      for (bool smart : {false, true}) {
        hostsim::Host host(f.app);
        hostsim::Session session(host, module);
        ASSERT_EQ(session.Setup(), PF_Err_NONE) << m.path;
        hostsim::WorldOptions options;
        options.format = f.code;
        hostsim::World input(f.layout, EffectRender::kWidth, EffectRender::kHeight, options);
        hostsim::World output(f.layout, EffectRender::kWidth, EffectRender::kHeight, options);
        input.Fill([&](A_long x, A_long y) { return Varied(f.layout, x, y, 0); });
        body(EffectRender{m, f, smart, session, input, output});
        EXPECT_EQ(host.render().params.Outstanding(), 0);
        EXPECT_EQ(session.Setdown(), PF_Err_NONE);
        EXPECT_EQ(host.LiveHandles(), 0) << m.path;
      }
    }
  }
  EXPECT_GE(variants, 1) << "no module named " << displayName;
}

}  // namespace tavu::testing
