#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "tools/cli_params.h"

using tavu::hostsim::Host;
using tavu::hostsim::Module;
using tavu::render::ApplySetting;

namespace {

// The definitions a module declares, indexed from 1 as the renderer keeps them. The module stays
// loaded: the choice strings point into it.
std::vector<PF_ParamDef> Declared(const char* path) {
  static std::map<std::string, std::unique_ptr<Module>> loaded;
  auto& slot = loaded[path];
  if (!slot) slot = std::make_unique<Module>(path);
  Module& module = *slot;
  Host host;
  module.EffectMain(PF_Cmd_PARAMS_SETUP, &host.in_data, &host.out_data, nullptr, nullptr, nullptr);
  std::vector<PF_ParamDef> params(1);
  params.insert(params.end(), host.added_params.begin(), host.added_params.end());
  return params;
}

TEST(CliParams, SettingsChangeExactlyTheirValue) {
  auto blending = Declared(TAVU_MODULE_Mixara);
  auto bright = Declared(TAVU_MODULE_Lumaguard);
  // A range whose end has no exact decimal form: --list-params shows it as 0.7.
  std::vector<PF_ParamDef> fine(2);
  fine[1].param_type = PF_Param_FLOAT_SLIDER;
  std::strcpy(fine[1].name, "Fine");
  fine[1].u.fs_d.valid_max = 0.7f;
  struct Case {
    std::vector<PF_ParamDef>* params;
    const char* setting;
    int index;
    double expected;  // the value field that must change
  } cases[] = {
      {&blending, "Blending Mode=Color Dodge", 3, 15},
      {&blending, "Blending Mode=29", 3, 29},
      {&blending, "Swap Inputs=on", 2, 1},
      {&blending, "Intensity=5", 4, 5},
      {&blending, "Mix=12.5", 6, 12.5},
      {&blending, "Output Channel=Alpha", 5, 6},
      {&bright, "Highlight Clamp Value=0.25", 1, 0.25},
      // Plain decimal numbers with an exponent; a value that rounds to a range end is in range.
      {&blending, "Mix=1e-320", 6, 1e-320},
      {&blending, "Mix=-1e-400", 6, 0},
      {&blending, "Mix=1.25E1", 6, 12.5},
      {&blending, "Mix=+7.", 6, 7},
      {&blending, "Intensity=4.99999999999999999", 4, 5},
      {&fine, "Fine=0.7", 1, 0.7f},
  };
  for (const auto& c : cases) {
    const auto before = *c.params;
    const auto r = ApplySetting(c.setting, *c.params);
    ASSERT_TRUE(r.ok) << c.setting << ": " << r.message;
    const PF_ParamDef& d = (*c.params)[c.index];
    double got = d.param_type == PF_Param_POPUP      ? d.u.pd.value
                 : d.param_type == PF_Param_CHECKBOX ? d.u.bd.value
                 : d.param_type == PF_Param_SLIDER   ? d.u.sd.value
                                                     : d.u.fs_d.value;
    EXPECT_EQ(got, c.expected) << c.setting;
    for (size_t i = 1; i < before.size(); ++i) {
      if (static_cast<int>(i) == c.index) continue;
      EXPECT_EQ(std::memcmp(&before[i], &(*c.params)[i], sizeof(PF_ParamDef)), 0) << c.setting;
    }
  }
  ASSERT_TRUE(ApplySetting("Shadow Color=#80102030", bright).ok);
  EXPECT_EQ(bright[4].u.cd.value.alpha, 0x80);
  EXPECT_EQ(bright[4].u.cd.value.blue, 0x30);
  ASSERT_TRUE(ApplySetting("Highlight Color=#0A0B0C", bright).ok);
  EXPECT_EQ(bright[3].u.cd.value.alpha, 255);
  EXPECT_EQ(bright[3].u.cd.value.red, 0x0A);
}

TEST(CliParams, BadSettingsAreRefusedWithTheValidChoices) {
  auto params = Declared(TAVU_MODULE_Mixara);
  const auto before = params;
  struct Case {
    const char* setting;
    const char* mentions;
  } cases[] = {
      {"Blend=Normal", "\"Blending Mode\""},
      {"Blending Mode=Sparkle", "\"Color Dodge\""},
      {"Blending Mode=30", "1..29"},
      {"Blending Mode=0", "1..29"},
      {"Intensity=6", "1..5"},
      {"Intensity=2.5", "1..5"},
      {"Mix=100.01", "0..100"},
      {"Mix=-1", "0..100"},
      {"Mix=nan", "0..100"},
      {"Mix=inf", "0..100"},
      {"Mix=1e400", "0..100"},
      {"Mix=0x1p6", "0..100"},
      {"Mix= 50", "0..100"},
      {"Mix=50 ", "0..100"},
      {"Mix=5e", "0..100"},
      {"Mix=.", "0..100"},
      {"Intensity=0x2", "1..5"},
      {"Swap Inputs=yes", "on or off"},
      {"Input 2=x", "--layer2"},  // a layer is named by its file
      {"no equals sign", "NAME=VALUE"},
  };
  for (const auto& c : cases) {
    const auto r = ApplySetting(c.setting, params);
    EXPECT_FALSE(r.ok) << c.setting;
    EXPECT_NE(r.message.find(c.mentions), std::string::npos) << c.setting << ": " << r.message;
  }
  for (size_t i = 1; i < params.size(); ++i)
    EXPECT_EQ(std::memcmp(&before[i], &params[i], sizeof(PF_ParamDef)), 0);
}

}  // namespace
