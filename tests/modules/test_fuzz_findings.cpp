// What the session fuzzer (fuzz/) found, kept as plain cases through the built modules. The raw
// reproducers also stay in fuzz/regressions/ and are replayed by the fuzz_replay tests; under the
// asan preset both fail without their fix.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/session.h"
#include "hostsim/world.h"
#include "tests/modules/module_paths.h"
#include "tests/support/host_checks.h"

using tavu::hostsim::Host;
using tavu::hostsim::Layout;
using tavu::hostsim::Module;
using tavu::hostsim::RenderRequest;
using tavu::hostsim::Session;
using tavu::hostsim::World;
using tavu::testing::Pixels;

namespace {

// Popup values were stored as value - 1, which overflowed at the lowest 32-bit value (undefined
// behaviour). Every popup value outside 1..choices must get the effect's out-of-range treatment,
// the lowest one included: the same frame as choices + 1.
TEST(FuzzFindings, PopupAtTheLowestIntegerRendersAsAnyOtherOutOfRangeValue) {
  for (const auto& m : tavu::testing::BuiltModules()) {
    Host host;
    Module module(m.path);
    Session session(host, module);
    ASSERT_EQ(session.Setup(), PF_Err_NONE) << m.path;
    World input(Layout::Argb8, 7, 3);
    input.Fill([](A_long x, A_long y) {
      return tavu::hostsim::Channels{255, 40.0 * x, 90.0 * y, 255 - 30.0 * x};
    });

    auto render = [&](bool lowest) {
      RenderRequest r;
      r.input = &input;
      World output(Layout::Argb8, 7, 3);
      r.output = &output;
      for (PF_ParamIndex i = 1; i < session.num_params(); ++i) {
        PF_ParamDef def = session.Param(i);
        if (def.param_type != PF_Param_POPUP) continue;
        def.u.pd.value = lowest ? std::numeric_limits<A_long>::min() : def.u.pd.num_choices + 1;
        r.params[i] = def;
      }
      EXPECT_EQ(session.Render(r), PF_Err_NONE) << m.path;
      return Pixels(output);
    };
    EXPECT_EQ(render(true), render(false)) << m.path;
    EXPECT_EQ(session.Setdown(), PF_Err_NONE);
  }
}

}  // namespace
