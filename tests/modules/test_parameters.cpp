// Parameter definitions as the host receives them, byte for byte, for every effect and host, and
// the parameters every render checks out.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/session.h"
#include "tests/modules/module_paths.h"

using tavu::hostsim::Host;
using tavu::hostsim::HostApp;
using tavu::hostsim::Layout;
using tavu::hostsim::Module;
using tavu::hostsim::World;

namespace {

// An expected definition: the record the host should see, pointers replaced by their text.
struct Expected {
  PF_ParamDef def;
  std::string text;  // popup choices or checkbox label
};

PF_ParamDef Blank(PF_ParamType type, const char* name, int id) {
  PF_ParamDef d;
  std::memset(&d, 0, sizeof d);
  d.param_type = type;
  std::strcpy(d.name, name);
  d.uu.id = id;
  return d;
}

Expected Layer(const char* name, int id) {
  PF_ParamDef d = Blank(PF_Param_LAYER, name, id);
  d.u.ld.dephault = -1;
  return {d, ""};
}

Expected Popup(const char* name, int id, A_short count, A_short dflt, const char* choices) {
  PF_ParamDef d = Blank(PF_Param_POPUP, name, id);
  d.u.pd.num_choices = count;
  d.u.pd.value = dflt;
  d.u.pd.dephault = dflt;
  return {d, choices};
}

Expected FloatSlider(const char* name, int id, float max, float dflt, A_short precision,
                     A_short display) {
  PF_ParamDef d = Blank(PF_Param_FLOAT_SLIDER, name, id);
  d.u.fs_d.value = dflt;
  d.u.fs_d.dephault = dflt;
  d.u.fs_d.valid_max = max;
  d.u.fs_d.slider_max = max;
  d.u.fs_d.precision = precision;
  d.u.fs_d.display_flags = display;
  uint32_t tolerance = 0x3D4CCCCD;  // 0.05 in single precision
  std::memcpy(&d.u.fs_d.curve_tolerance, &tolerance, 4);
  return {d, ""};
}

Expected Mix(int id) { return FloatSlider("Mix", id, 100, 100, 2, 1); }

Expected Color(const char* name, int id, PF_Pixel px) {
  PF_ParamDef d = Blank(PF_Param_COLOR, name, id);
  d.u.cd.value = px;
  d.u.cd.dephault = px;
  return {d, ""};
}

std::vector<Expected> ExpectedParams(const std::string& effect, bool premiere) {
  if (effect == "tavu-Blending") {
    PF_ParamDef swap = Blank(PF_Param_CHECKBOX, "Swap Inputs", 2);
    PF_ParamDef intensity = Blank(PF_Param_SLIDER, "Intensity", 4);
    intensity.u.sd.valid_min = intensity.u.sd.slider_min = 1;
    intensity.u.sd.valid_max = intensity.u.sd.slider_max = 5;
    intensity.u.sd.value = intensity.u.sd.dephault = 1;
    return {Layer("Input 2", 1),
            {swap, ""},
            Popup("Blending Mode", 3, 29, 1,
                  "Normal|Lighten|Darken|Multiply|Average|Add|Subtract|Difference|Negation|"
                  "Exclusion|Screen|Overlay|Soft Light|Hard Light|Color Dodge|Color Burn|"
                  "Linear Dodge|Linear Burn|Linear Light|Vivid Light|Pin Light|Hard Mix|Reflect|"
                  "Glow|Phoenix|Hue|Saturation|Color|Luminosity"),
            {intensity, ""},
            Popup("Output Channel", 5, 6, 1, "RGB|RGBA|Red|Green|Blue|Alpha"),
            Mix(6)};
  }
  if (effect == "tavu-Combine RGBA") {
    const char* c =
        "Original Red|Original Green|Original Blue|Original Alpha|Input2 Red|Input2 Green|"
        "Input2 Blue|Input2 Alpha";
    return {Layer("Input2", 1),          Popup("Red Channel", 2, 8, 1, c),
            Popup("Green Channel", 3, 8, 2, c), Popup("Blue Channel", 4, 8, 3, c),
            Popup("Alpha Channel", 5, 8, 4, c), Mix(6)};
  }
  if (effect == "tavu-Brightness Check") {
    const float x = premiere ? 255.0f : 1.0f;
    return {FloatSlider("Highlight Clamp Value", 1, x, x, 0, 2),
            FloatSlider("Shadow Clamp Value", 2, x, 0, 0, 2),
            Color("Highlight Color", 3, PF_Pixel{255, 255, 0, 0}),
            Color("Shadow Color", 4, PF_Pixel{255, 0, 0, 255}), Mix(5)};
  }
  return {Layer("Color Reference", 1), Popup("Grayscale Source", 2, 3, 1, "Average|Luma|Lightness"),
          Popup("Color Source Lookup", 3, 2, 1, "Left-Right|Top-Bottom"), Mix(4)};
}

TEST(Parameters, DefinitionsReachTheHostByteForByte) {
  for (const auto& m : tavu::testing::BuiltModules()) {
    Module module(m.path);
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
      Host host(app);
      ASSERT_EQ(module.EffectMain(PF_Cmd_PARAMS_SETUP, &host.in_data, &host.out_data, nullptr,
                                  nullptr, nullptr),
                PF_Err_NONE);
      const auto expected = ExpectedParams(m.displayName, app == HostApp::Premiere);
      ASSERT_EQ(host.added_params.size(), expected.size()) << m.path;
      EXPECT_EQ(host.out_data.num_params, static_cast<A_long>(expected.size() + 1));
      for (size_t i = 0; i < expected.size(); ++i) {
        PF_ParamDef got = host.added_params[i];
        EXPECT_EQ(host.add_param_indices[i], -1);
        // Text pointers are compared by their text, then cleared for the byte comparison.
        if (got.param_type == PF_Param_POPUP) {
          EXPECT_EQ(std::string(got.u.pd.u.namesptr), expected[i].text) << got.name;
          got.u.pd.u.namesptr = nullptr;
        } else if (got.param_type == PF_Param_CHECKBOX) {
          EXPECT_EQ(std::string(got.u.bd.u.nameptr), expected[i].text) << got.name;
          got.u.bd.u.nameptr = nullptr;
        }
        EXPECT_EQ(std::memcmp(&got, &expected[i].def, sizeof got), 0)
            << m.path << " parameter " << i + 1 << " " << got.name;
      }
    }
  }
}

TEST(Parameters, AFailedAdditionEndsSetupWithItsCode) {
  for (const auto& m : tavu::testing::BuiltModules()) {
    Module module(m.path);
    Host host;
    host.out_data.num_params = 99;
    host.FailCall("add_param", 3, -77);
    EXPECT_EQ(module.EffectMain(PF_Cmd_PARAMS_SETUP, &host.in_data, &host.out_data, nullptr,
                                nullptr, nullptr),
              -77);
    EXPECT_EQ(host.added_params.size(), 2u) << m.path;
    EXPECT_EQ(host.CallCount("add_param"), 3) << "nothing is added after the failure";
    EXPECT_EQ(host.out_data.num_params, 99);
  }
}

// Every render, in both hosts, classic and smart, checks out the effect's own parameters 1 to N
// in that order and checks each in again.
TEST(Parameters, EveryRenderChecksOutOneToNAndChecksEachIn) {
  for (const auto& m : tavu::testing::BuiltModules()) {
    Module module(m.path);
    std::vector<PF_ParamIndex> oneToN(ExpectedParams(m.displayName, false).size());
    std::iota(oneToN.begin(), oneToN.end(), 1);
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
      for (bool smart : {false, true}) {
        Host host(app);
        tavu::hostsim::Session session(host, module);
        ASSERT_EQ(session.Setup(), PF_Err_NONE);
        const Layout layout = app == HostApp::Premiere ? Layout::Bgra8 : Layout::Argb8;
        World input(layout, 4, 3), output(layout, 4, 3);
        ASSERT_EQ(session.Render({&input, &output, smart}), PF_Err_NONE) << m.path;
        const auto& params = host.render().params;
        const std::string what = m.path + (smart ? " smart" : " classic");
        EXPECT_EQ(params.CheckoutLog(), oneToN) << what;
        EXPECT_EQ(params.Checkins(), static_cast<int>(oneToN.size())) << what;
        EXPECT_EQ(params.StrayCheckins(), 0) << what;
        EXPECT_EQ(params.Outstanding(), 0) << what;
      }
    }
  }
}

}  // namespace
