#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <stdexcept>

#include "framework/identity.h"
#include "host/suite_handler.h"
#include "hostsim/host.h"
#include "tests/support/test_effect.h"

extern "C" PF_Err EffectMain(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);
extern "C" PF_Err PluginDataEntryFunction(PF_PluginDataPtr, PF_PluginDataCB);

using tavu::hostsim::Host;
using tavu::testing::TestEffect;

namespace {

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override { TestEffect() = {}; }
  void TearDown() override { TestEffect() = {}; }
  PF_Err Send(PF_Cmd cmd, void* extra = nullptr) {
    return EffectMain(cmd, &host.in_data, &host.out_data, nullptr, &output, extra);
  }
  Host host;
  PF_LayerDef output{};
};

TEST_F(Dispatch, UnhandledCommandsAnswerZeroAndTouchNothing) {
  int effectCalls = 0;
  TestEffect().paramsSetup = [&](PF_InData*, PF_OutData*) { return ++effectCalls, 77; };
  TestEffect().render = [&](PF_InData*, PF_OutData*, PF_LayerDef*) { return ++effectCalls, 77; };
  TestEffect().smartRender = [&](PF_InData*, PF_OutData*, PF_SmartRenderExtra*) {
    return ++effectCalls, 77;
  };
  std::memset(&host.out_data, 0x5A, sizeof host.out_data);
  const PF_OutData before = host.out_data;
  for (PF_Cmd cmd : {2, 7, 9, 10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, -1, 25, 26, 1000,
                     INT_MIN, INT_MAX}) {
    EXPECT_EQ(Send(cmd), PF_Err_NONE) << cmd;
  }
  EXPECT_EQ(std::memcmp(&before, &host.out_data, sizeof before), 0);
  EXPECT_EQ(effectCalls, 0);
  EXPECT_TRUE(host.SuiteLog().empty());
}

TEST_F(Dispatch, EffectCommandsReachTheEffectWithTheirArguments) {
  PF_SmartRenderExtra smartExtra{};
  PF_Cmd seen = -1;
  TestEffect().paramsSetup = [&](PF_InData* in, PF_OutData* out) {
    EXPECT_EQ(in, &host.in_data);
    EXPECT_EQ(out, &host.out_data);
    seen = PF_Cmd_PARAMS_SETUP;
    return 41;
  };
  TestEffect().render = [&](PF_InData*, PF_OutData*, PF_LayerDef* out) {
    EXPECT_EQ(out, &output);
    seen = PF_Cmd_RENDER;
    return 42;
  };
  TestEffect().smartRender = [&](PF_InData*, PF_OutData*, PF_SmartRenderExtra* extra) {
    EXPECT_EQ(extra, &smartExtra);
    seen = PF_Cmd_SMART_RENDER;
    return 43;
  };
  EXPECT_EQ(Send(PF_Cmd_PARAMS_SETUP), 41);
  EXPECT_EQ(seen, PF_Cmd_PARAMS_SETUP);
  EXPECT_EQ(Send(PF_Cmd_RENDER), 42);
  EXPECT_EQ(seen, PF_Cmd_RENDER);
  EXPECT_EQ(Send(PF_Cmd_SMART_RENDER, &smartExtra), 43);
  EXPECT_EQ(seen, PF_Cmd_SMART_RENDER);
}

TEST_F(Dispatch, ExceptionsBecomeResultCodes) {
  const struct {
    const char* what;
    std::function<void()> raise;
    PF_Err expected;
  } cases[] = {
      {"int", [] { throw 1234; }, 1234},
      {"missing suite", [] { throw static_cast<int>(PF_Err_BAD_CALLBACK_PARAM); }, 516},
      {"std::exception", [] { throw std::runtime_error("x"); }, 512},
      {"bad_alloc", [] { throw std::bad_alloc(); }, 512},
      {"C string", [] { throw "text"; }, 512},
      {"long", [] { throw 7L; }, 512},  // only a plain int carries a code
  };
  for (const auto& c : cases) {
    TestEffect().render = [&](PF_InData*, PF_OutData*, PF_LayerDef*) -> PF_Err {
      c.raise();
      return 0;
    };
    EXPECT_EQ(Send(PF_Cmd_RENDER), c.expected) << c.what;
  }
}

TEST_F(Dispatch, MissingSuiteInsideAHandlerReleasesWhatWasAcquired) {
  host.RemoveSuite("AEGP Utility Suite", 7);
  TestEffect().paramsSetup = [&](PF_InData* in, PF_OutData*) -> PF_Err {
    AEGP_SuiteHandler suites(in->pica_basicP);
    suites.HandleSuite2();
    suites.UtilitySuite7();  // removed above
    return 0;
  };
  EXPECT_EQ(Send(PF_Cmd_PARAMS_SETUP), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(host.OutstandingSuites(), 0);
}

struct Recorded {
  int calls = 0;
  std::string name, match, category, entry;
  A_long kind = 0, major = 0, minor = 0, reserved = 0;
  PF_Err answer = 0;
};

PF_Err RecordCb(PF_PluginDataPtr p, const A_u_char* name, const A_u_char* match,
                const A_u_char* category, const A_u_char* entry, A_long kind, A_long major,
                A_long minor, A_long reserved) {
  auto* r = static_cast<Recorded*>(p);
  ++r->calls;
  r->name = reinterpret_cast<const char*>(name);
  r->match = reinterpret_cast<const char*>(match);
  r->category = reinterpret_cast<const char*>(category);
  r->entry = reinterpret_cast<const char*>(entry);
  r->kind = kind;
  r->major = major;
  r->minor = minor;
  r->reserved = reserved;
  return r->answer;
}

TEST(PluginDataEntry, DescribesTheEffectOnceAndReturnsTheCallbacksAnswer) {
  for (PF_Err answer : {0, 5, -9}) {
    Recorded r;
    r.answer = answer;
    EXPECT_EQ(PluginDataEntryFunction(&r, RecordCb), answer);
    EXPECT_EQ(r.calls, 1);
    EXPECT_EQ(r.name, "tavu-Test");
    EXPECT_EQ(r.match, "ZELQ Test");
    EXPECT_EQ(r.category, tavu::kCategoryName);
    EXPECT_EQ(r.entry, "EffectMain");
    EXPECT_EQ(r.kind, 0x65464B54);
    EXPECT_EQ(r.major, 13);
    EXPECT_EQ(r.minor, 27);
    EXPECT_EQ(r.reserved, 8);
  }
}

}  // namespace
