// A simulated host with the probe effect applied, for tests that render through EffectMain.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "hostsim/host.h"
#include "hostsim/session.h"
#include "tests/support/probe_effect.h"
#include "tests/support/test_effect.h"

extern "C" PF_Err EffectMain(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*);

namespace tavu::testing {

class PipelineTest : public ::testing::Test {
 protected:
  void SetUp() override { TestEffect() = {}; }
  void TearDown() override { TestEffect() = {}; }

  void Start(hostsim::HostApp app, int threads = 4) {
    session.reset();
    host.reset();
    host.emplace(app);
    host->render().iterate.set_threads(threads);
    session.emplace(*host, EffectMain);
    ASSERT_EQ(session->Setup(), PF_Err_NONE);
    // Until sequence set-up hands out the block, the instance gets one the way set-up would.
    if (session->sequence_data() == nullptr) {
      session->set_sequence_data(host->NewHandle(sizeof(ProbeEffect::ParamBlock)));
    }
    host->render().params.ClearCounts();
    host->ClearSuiteLog();
  }

  PF_ParamDef Mode(int mode) const {
    PF_ParamDef def = session->Param(ProbeEffect::kMode);
    def.u.pd.value = mode;
    return def;
  }
  PF_ParamDef Value(double value) const {
    PF_ParamDef def = session->Param(ProbeEffect::kValue);
    def.u.fs_d.value = value;
    return def;
  }
  PF_ParamDef Tag(int tag) const {
    PF_ParamDef def = session->Param(ProbeEffect::kTag);
    def.u.sd.value = tag;
    return def;
  }

  std::optional<hostsim::Host> host;
  std::optional<hostsim::Session> session;
};

// A recognisable pattern in stored values: every channel differs across x, y and channel.
inline hostsim::Channels Pattern(hostsim::Layout layout, A_long x, A_long y) {
  const double full = hostsim::FullScale(layout);
  hostsim::Channels c;
  for (int i = 0; i < 4; ++i) {
    const int v = (x * 37 + y * 91 + i * 53) % 256;
    c[i] = hostsim::IsFloat(layout) ? v / 255.0 - 0.25 : (full == 255.0 ? v : v * 128 + i);
  }
  return c;
}

}  // namespace tavu::testing
