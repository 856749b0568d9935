// One instance of each built module rendered from eight threads at once, as a host with threaded
// rendering does: a few hundred frames with a dozen different parameter sets, pixel layouts and
// second layers, the rows of each frame themselves shared among iterate threads. Every frame must
// come out exactly as the same parameters render alone on one thread, whatever ran beside it;
// the instance must end with nothing checked out and nothing leaked. The tsan preset runs this
// under ThreadSanitizer.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <ostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "hostsim/session.h"
#include "hostsim/world.h"
#include "tests/modules/module_paths.h"
#include "tests/support/host_checks.h"

using tavu::hostsim::Host;
using tavu::hostsim::HostApp;
using tavu::hostsim::Layout;
using tavu::hostsim::Module;
using tavu::hostsim::RenderRequest;
using tavu::hostsim::Session;
using tavu::hostsim::World;
using tavu::testing::Pixels;

namespace {

constexpr int kRenderThreads = 8;
constexpr int kFramesPerThread = 50;
constexpr int kVariants = 12;
// Wider than one of the row routines' 64-pixel blocks, so rows end in a partial block.
constexpr A_long kWidth = 67;
constexpr A_long kHeight = 5;

// Random pixels in the range a host stores (floats also a little outside 0..1).
void FillRandom(World& w, std::mt19937& rng) {
  const double full = tavu::hostsim::FullScale(w.layout());
  const bool isFloat = tavu::hostsim::IsFloat(w.layout());
  std::uniform_real_distribution<double> unit(isFloat ? -0.25 : 0.0, isFloat ? 1.25 : 1.0);
  w.Fill([&](A_long, A_long) {
    tavu::hostsim::Channels c;
    for (double& v : c) v = isFloat ? unit(rng) : std::floor(unit(rng) * full);
    return c;
  });
}

// One parameter set with its own worlds and the frame it renders alone.
struct Variant {
  std::unique_ptr<World> input;
  std::unique_ptr<World> second;
  RenderRequest request;  // input and second layer set; output per render
  bool smart = false;
  std::vector<unsigned char> inputBefore, secondBefore;
  std::vector<unsigned char> expected;
};

Variant MakeVariant(const Session& session, HostApp app, int index) {
  std::mt19937 rng(0x5EED + index);
  const Layout kAfterEffects[] = {Layout::Argb8, Layout::Argb16, Layout::ArgbFloat};
  const Layout kPremiere[] = {Layout::Bgra8, Layout::BgraFloat};
  const Layout layout = app == HostApp::Premiere ? kPremiere[index % 2] : kAfterEffects[index % 3];

  Variant v;
  v.smart = index % 2 == 1;
  v.input = std::make_unique<World>(layout, kWidth, kHeight);
  FillRandom(*v.input, rng);
  // Second layers smaller and larger than the frame, so every effect also reads outside them.
  v.second =
      std::make_unique<World>(layout, kWidth - 20 + 7 * (index % 6), kHeight - 2 + index % 5);
  FillRandom(*v.second, rng);

  v.inputBefore = Pixels(*v.input);
  v.secondBefore = Pixels(*v.second);
  v.request.input = v.input.get();
  v.request.smart = v.smart;
  v.request.time = index;
  for (PF_ParamIndex i = 1; i < session.num_params(); ++i) {
    PF_ParamDef def = session.Param(i);
    switch (def.param_type) {
      case PF_Param_LAYER:
        v.request.layers[i] = v.second->def();
        continue;
      case PF_Param_POPUP:
        def.u.pd.value = std::uniform_int_distribution<A_long>(1, def.u.pd.num_choices)(rng);
        break;
      case PF_Param_CHECKBOX:
        def.u.bd.value = static_cast<PF_ParamValue>(rng() % 2);
        break;
      case PF_Param_SLIDER:
        def.u.sd.value =
            std::uniform_int_distribution<A_long>(def.u.sd.valid_min, def.u.sd.valid_max)(rng);
        break;
      case PF_Param_FLOAT_SLIDER:
        def.u.fs_d.value =
            std::uniform_real_distribution<double>(def.u.fs_d.valid_min, def.u.fs_d.valid_max)(rng);
        break;
      case PF_Param_COLOR:
        def.u.cd.value = PF_Pixel{static_cast<A_u_char>(rng()), static_cast<A_u_char>(rng()),
                                  static_cast<A_u_char>(rng()), static_cast<A_u_char>(rng())};
        break;
      default:
        break;
    }
    v.request.params[i] = def;
  }
  return v;
}

PF_Err RenderInto(const Session& session, const Variant& v, World* output) {
  RenderRequest r = v.request;
  r.output = output;
  return session.Render(r);
}

struct StressCase {
  tavu::testing::BuiltModule module;
  HostApp app;
};

std::vector<StressCase> Cases() {
  std::vector<StressCase> cases;
  for (const auto& m : tavu::testing::BuiltModules()) {
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) cases.push_back({m, app});
  }
  return cases;
}

class ThreadedRenders : public ::testing::TestWithParam<StressCase> {};

TEST_P(ThreadedRenders, EveryFrameMatchesItsSingleThreadedRender) {
  const StressCase& c = GetParam();
  Host host(c.app);
  Module module(c.module.path);
  Session session(host, module);
  ASSERT_EQ(session.Setup(), PF_Err_NONE);

  // The reference frames: each parameter set alone, rows in order on this thread.
  host.render().iterate.set_threads(1);
  std::vector<Variant> variants;
  for (int i = 0; i < kVariants; ++i) {
    variants.push_back(MakeVariant(session, c.app, i));
    Variant& v = variants.back();
    World output(v.input->layout(), kWidth, kHeight);
    ASSERT_EQ(RenderInto(session, v, &output), PF_Err_NONE) << "variant " << i;
    v.expected = Pixels(output);
  }

  // Eight render threads, each frame's rows shared among three more.
  host.render().iterate.set_threads(3);
  std::mutex mutex;
  std::vector<std::string> failures;
  auto renderFrames = [&](int thread) {
    for (int frame = 0; frame < kFramesPerThread; ++frame) {
      const int index = (thread * 5 + frame * 7) % kVariants;
      const Variant& v = variants[index];
      World output(v.input->layout(), kWidth, kHeight);
      const PF_Err err = RenderInto(session, v, &output);
      if (err != PF_Err_NONE || Pixels(output) != v.expected || !output.OutsideIntact()) {
        std::lock_guard<std::mutex> lock(mutex);
        failures.push_back("thread " + std::to_string(thread) + " frame " + std::to_string(frame) +
                           " variant " + std::to_string(index) + " code " + std::to_string(err));
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kRenderThreads; ++t) threads.emplace_back(renderFrames, t);
  for (auto& t : threads) t.join();

  EXPECT_EQ(failures.size(), 0u) << "first: " << (failures.empty() ? "" : failures[0]);
  for (const Variant& v : variants) {
    EXPECT_TRUE(Pixels(*v.input) == v.inputBefore && Pixels(*v.second) == v.secondBefore)
        << "a render wrote into its input or second layer";
  }
  EXPECT_EQ(host.render().params.Outstanding(), 0);
  EXPECT_EQ(host.render().params.StrayCheckins(), 0);
  EXPECT_EQ(host.OutstandingSuites(), 0);
  EXPECT_EQ(session.Setdown(), PF_Err_NONE);
  EXPECT_EQ(host.LiveHandles(), 0);
  EXPECT_EQ(host.LockedHandles(), 0);
}

// The name ctest shows for each case.
void PrintTo(const StressCase& c, std::ostream* os) {
  std::string name = c.module.path.substr(c.module.path.find_last_of('/') + 1);
  *os << name.substr(0, name.find('.'))
      << (c.app == HostApp::Premiere ? "_Premiere" : "_AfterEffects");
}

INSTANTIATE_TEST_SUITE_P(Modules, ThreadedRenders, ::testing::ValuesIn(Cases()));

}  // namespace
