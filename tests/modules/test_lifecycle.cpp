// The lifecycle commands of the four built modules, sent through EffectMain as a host sends them:
// global and sequence data, About and smart pre-render, with the host's counts checked after
// every path so that a leaked handle, lock or suite shows.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "hostsim/host.h"
#include "hostsim/module.h"
#include "tests/modules/module_paths.h"
#include "tests/support/host_checks.h"

using tavu::hostsim::Host;
using tavu::hostsim::HostApp;
using tavu::hostsim::Module;
using tavu::testing::Acquired;
using tavu::testing::BuiltModule;
using tavu::testing::BuiltModules;

namespace {

// What each effect must declare, written out here rather than taken from the effect's headers.
struct EffectFacts {
  const char* displayName;
  A_HandleSize blockSize;
  A_long outFlags2AE;
  A_long outFlags2Premiere;
  const char* about;
};

const EffectFacts kFacts[] = {
    {"tavu-Blending", 32, 0x18001440, 0x18000440,
     "tavu-Blending, v3.0\rBlending mode operation between two layers\r"
     "by Velmar Oskend and Renolt Marquady"},
    {"tavu-Combine RGBA", 32, 0x18001440, 0x18000440,
     "tavu-Combine RGBA, v3.0\rCombine RGBA channels from 2 sources\r"
     "by Velmar Oskend and Renolt Marquady"},
    {"tavu-Brightness Check", 44, 0x18009440, 0x18008440,
     "tavu-Brightness Check, v3.0\rCheck brightness pixels in the image\r"
     "by Velmar Oskend and Renolt Marquady"},
    {"tavu-Color Gray", 24, 0x18001440, 0x18000440,
     "tavu-Color Gray, v3.0\rconvert grayscale to color based on a color reference (gradient "
     "for instance)\rby Velmar Oskend and Renolt Marquady"},
};

const EffectFacts& FactsOf(const BuiltModule& m) {
  for (const auto& f : kFacts)
    if (m.displayName == f.displayName) return f;
  throw std::runtime_error("no facts for " + m.displayName);
}

constexpr A_long kOutFlagsAE = 0x02000440;
constexpr A_long kOutFlagsPremiere = 0x00000440;
constexpr A_long kBGRA = 0x61726762;

// A handle value the host passed in; the module must neither use nor overwrite it.
PF_Handle Sentinel() {
  static void* target = nullptr;
  return &target;
}

struct Session {
  explicit Session(const BuiltModule& m, HostApp app = HostApp::AfterEffects)
      : module(m.path), host(app) {}
  PF_Err Send(PF_Cmd cmd, void* extra = nullptr) {
    return module.EffectMain(cmd, &host.in_data, &host.out_data, nullptr, nullptr, extra);
  }
  // Nothing the module made is left over: handles, locks, memory handles, suites.
  void ExpectClean(const std::string& what) const {
    EXPECT_EQ(host.LiveHandles(), 0) << what;
    EXPECT_EQ(host.LockedHandles(), 0) << what;
    EXPECT_EQ(host.aegp.LiveMemHandles(), 0) << what;
    EXPECT_EQ(host.OutstandingSuites(), 0) << what;
  }
  Module module;
  Host host;
};

std::vector<unsigned char> Bytes(PF_Handle h, std::size_t n) {
  const auto* p = static_cast<const unsigned char*>(*h);
  return {p, p + n};
}

// ---- global data ---------------------------------------------------------------------------

TEST(ModuleLifecycle, GlobalSetupDeclaresEachEffectsFlagsAndSetdownFreesTheHandle) {
  for (const auto& m : BuiltModules()) {
    const EffectFacts& f = FactsOf(m);
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
      const bool ae = app == HostApp::AfterEffects;
      const std::string what = m.path + (ae ? " AE" : " PPro");
      Session s(m, app);
      s.host.out_data.out_flags = 0x7FFF0000;  // assigned whole, not or-ed in
      s.host.out_data.out_flags2 = 0x00FF0000;
      ASSERT_EQ(s.Send(PF_Cmd_GLOBAL_SETUP), PF_Err_NONE) << what;
      EXPECT_EQ(s.host.out_data.my_version, 0x00180000u) << what;
      EXPECT_EQ(s.host.out_data.out_flags, ae ? kOutFlagsAE : kOutFlagsPremiere) << what;
      EXPECT_EQ(s.host.out_data.out_flags2, ae ? f.outFlags2AE : f.outFlags2Premiere) << what;
      // Premiere Pro learns its one format after the list is cleared (a clear is recorded as 0).
      const std::vector<A_long> formats =
          ae ? std::vector<A_long>{} : std::vector<A_long>{0, kBGRA};
      EXPECT_EQ(s.host.declared_formats, formats) << what;
      EXPECT_EQ(Acquired(s.host, "PF Pixel Format Suite"), !ae) << what;
      EXPECT_EQ(s.host.aegp.registered_names,
                ae ? std::vector<std::string>{f.displayName} : std::vector<std::string>{})
          << what;

      PF_Handle global = s.host.out_data.global_data;
      ASSERT_NE(global, nullptr) << what;
      ASSERT_EQ(s.host.HandleSize(global), 24u) << what;
      const auto record = Bytes(global, 24);
      EXPECT_EQ(record[0], 1) << what;  // initialized
      A_long pluginId;
      std::memcpy(&pluginId, &record[4], 4);
      if (ae) {
        EXPECT_EQ(pluginId, 0x7A00) << what;  // the id the host handed out
      }
      EXPECT_EQ(std::vector<unsigned char>(record.begin() + 8, record.end()),
                std::vector<unsigned char>(16, 0))
          << what;
      EXPECT_EQ(s.host.LockedHandles(), 0) << what;

      s.host.ResetOutData();
      s.host.in_data.global_data = global;
      EXPECT_EQ(s.Send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE) << what;
      EXPECT_EQ(s.host.out_data.global_data, nullptr) << what;  // set-down writes nothing
      s.ExpectClean(what);
    }
  }
}

TEST(ModuleLifecycle, GlobalSetupFailuresKeepTheFlagsAndLeakNothing) {
  struct Case {
    const char* what;
    HostApp app;
    std::function<void(Host&)> fault;
    PF_Err expected;
    bool stored;
  };
  const Case cases[] = {
      {"premiere without pixel-format suite", HostApp::Premiere,
       [](Host& h) { h.RemoveSuite("PF Pixel Format Suite", 1); }, PF_Err_NONE, true},
      {"allocation fails", HostApp::AfterEffects,
       [](Host& h) { h.FailCall("host_new_handle", 1, 1); }, 512, false},
      {"premiere allocation fails", HostApp::Premiere,
       [](Host& h) { h.FailCall("host_new_handle", 1, 1); }, 512, false},
      {"lock yields no pointer", HostApp::AfterEffects,
       [](Host& h) { h.FailCall("host_lock_handle", 1, 1); }, PF_Err_NONE, false},
      {"premiere lock yields no pointer", HostApp::Premiere,
       [](Host& h) { h.FailCall("host_lock_handle", 1, 1); }, PF_Err_NONE, false},
      {"registration fails", HostApp::AfterEffects,
       [](Host& h) { h.FailCall("AEGP_RegisterWithAEGP", 1, 0x2A); }, 0x2A, false},
      {"no utility suite", HostApp::AfterEffects,
       [](Host& h) { h.RemoveSuite("AEGP Utility Suite", 7); }, 516, false},
      {"no handle suite", HostApp::AfterEffects,
       [](Host& h) { h.RemoveSuite("PF Handle Suite", 2); }, 516, false},
  };
  for (const auto& m : BuiltModules()) {
    const EffectFacts& f = FactsOf(m);
    for (const auto& c : cases) {
      const std::string what = m.path + ": " + c.what;
      const bool ae = c.app == HostApp::AfterEffects;
      Session s(m, c.app);
      c.fault(s.host);
      s.host.out_data.global_data = Sentinel();
      EXPECT_EQ(s.Send(PF_Cmd_GLOBAL_SETUP), c.expected) << what;
      EXPECT_EQ(s.host.out_data.out_flags, ae ? kOutFlagsAE : kOutFlagsPremiere) << what;
      EXPECT_EQ(s.host.out_data.out_flags2, ae ? f.outFlags2AE : f.outFlags2Premiere) << what;
      EXPECT_EQ(s.host.out_data.my_version, 0x00180000u) << what;
      EXPECT_EQ(s.host.out_data.return_msg[0], '\0') << what;  // no message on any path
      if (c.stored) {
        EXPECT_NE(s.host.out_data.global_data, Sentinel()) << what;
        EXPECT_TRUE(s.host.declared_formats.empty()) << what;
        s.host.in_data.global_data = s.host.out_data.global_data;
        EXPECT_EQ(s.Send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE) << what;
      } else {
        EXPECT_EQ(s.host.out_data.global_data, Sentinel()) << what;
      }
      // A handle that was made but not handed over is freed, after being unlocked.
      s.ExpectClean(what);
      EXPECT_EQ(s.host.CallCount("host_unlock_handle"), s.host.CallCount("host_lock_handle"))
          << what;
    }
  }
}

TEST(ModuleLifecycle, GlobalSetdownPaths) {
  for (const auto& m : BuiltModules()) {
    {
      Session s(m);
      EXPECT_EQ(s.Send(PF_Cmd_GLOBAL_SETDOWN), PF_Err_NONE) << m.path;
      EXPECT_TRUE(s.host.SuiteLog().empty()) << m.path;  // nothing to free, no suite taken
    }
    {
      Session s(m);
      s.host.in_data.global_data = s.host.NewHandle(24);
      s.host.RemoveSuite("PF Handle Suite", 2);
      EXPECT_EQ(s.Send(PF_Cmd_GLOBAL_SETDOWN), 516) << m.path;
      EXPECT_EQ(s.host.LiveHandles(), 1) << m.path;
      EXPECT_EQ(s.host.OutstandingSuites(), 0) << m.path;
    }
  }
}

// ---- sequence data -------------------------------------------------------------------------

TEST(ModuleLifecycle, SequenceSetupMakesAZeroedFlatBlockAndSetdownClearsBothReferences) {
  for (const auto& m : BuiltModules()) {
    const A_HandleSize size = FactsOf(m).blockSize;
    for (PF_Cmd cmd : {PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP}) {
      const std::string what = m.path + " cmd " + std::to_string(cmd);
      Session s(m);
      ASSERT_EQ(s.Send(cmd), PF_Err_NONE) << what;
      PF_Handle h = s.host.out_data.sequence_data;
      ASSERT_NE(h, nullptr) << what;
      EXPECT_EQ(s.host.HandleSize(h), size) << what;
      // The host fills fresh handles with 0xCD: zeros here were written by the module.
      EXPECT_EQ(Bytes(h, size), std::vector<unsigned char>(size, 0)) << what;
      EXPECT_EQ(s.host.out_data.flat_sdata_size, static_cast<A_long>(size)) << what;
      EXPECT_EQ(s.host.LockedHandles(), 0) << what;

      s.host.in_data.sequence_data = h;
      EXPECT_EQ(s.Send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE) << what;
      EXPECT_EQ(s.host.in_data.sequence_data, nullptr) << what;
      EXPECT_EQ(s.host.out_data.sequence_data, nullptr) << what;
      s.ExpectClean(what);
      // A second set-down finds nothing and does nothing.
      EXPECT_EQ(s.Send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE) << what;
      EXPECT_EQ(s.host.CallCount("host_dispose_handle"), 1) << what;
    }
  }
}

TEST(ModuleLifecycle, SequenceSetupAdoptsAnExistingHandle) {
  struct Case {
    const char* what;
    PF_Cmd cmd;
    long sizeDelta;  // size of the handle passed in, relative to the block size
    bool resized;
  };
  const Case cases[] = {
      {"set-up, same size", PF_Cmd_SEQUENCE_SETUP, 0, false},
      {"set-up, smaller", PF_Cmd_SEQUENCE_SETUP, -8, true},
      {"set-up, larger", PF_Cmd_SEQUENCE_SETUP, 12, true},
      {"re-set-up, smaller", PF_Cmd_SEQUENCE_RESETUP, -8, false},
      {"re-set-up, larger", PF_Cmd_SEQUENCE_RESETUP, 12, false},
  };
  for (const auto& m : BuiltModules()) {
    const A_HandleSize size = FactsOf(m).blockSize;
    for (const auto& c : cases) {
      const std::string what = m.path + ": " + c.what;
      Session s(m);
      s.host.set_move_handles_on_resize(true);
      const A_HandleSize passed = size + c.sizeDelta;
      PF_Handle h = s.host.NewHandle(passed);
      for (A_HandleSize i = 0; i < passed; ++i) static_cast<unsigned char*>(*h)[i] = 0x40 + i;
      const auto before = Bytes(h, passed);
      s.host.in_data.sequence_data = h;
      s.host.out_data.sequence_data = Sentinel();
      s.host.out_data.flat_sdata_size = -7;

      EXPECT_EQ(s.Send(c.cmd), PF_Err_NONE) << what;
      // Re-set-up does not even ask the size.
      EXPECT_EQ(s.host.CallCount("host_get_handle_size"), c.cmd == PF_Cmd_SEQUENCE_SETUP ? 1 : 0)
          << what;
      PF_Handle now = s.host.in_data.sequence_data;
      // The moved handle is written back where the host keeps it.
      EXPECT_EQ(now != h, c.resized) << what;
      EXPECT_EQ(s.host.HandleSize(now), c.resized ? size : passed) << what;
      const A_HandleSize kept = std::min(size, passed);
      EXPECT_EQ(Bytes(now, kept), std::vector<unsigned char>(before.begin(), before.begin() + kept))
          << what;
      // A handle the resize moved is reported in out_data too, so a host that takes it from
      // there never keeps the freed one; otherwise out_data stays as the host passed it.
      EXPECT_EQ(s.host.out_data.sequence_data, c.resized ? now : Sentinel()) << what;
      EXPECT_EQ(s.host.out_data.flat_sdata_size, -7) << what;
      EXPECT_EQ(s.host.LiveHandles(), 1) << what;
      EXPECT_EQ(s.Send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE) << what;
      s.ExpectClean(what);
    }
  }
}

TEST(ModuleLifecycle, SequenceFailuresReportAndKeepEveryOtherFlag) {
  for (const auto& m : BuiltModules()) {
    for (PF_Cmd cmd : {PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_RESETUP}) {
      const std::string what = m.path + " cmd " + std::to_string(cmd);
      Session s(m);
      s.host.FailCall("host_new_handle", 1, 1);
      s.host.out_data.out_flags = static_cast<A_long>(0xA5A5A4A5u);  // bit 8 clear
      s.host.out_data.sequence_data = Sentinel();
      s.host.out_data.flat_sdata_size = -7;
      EXPECT_EQ(s.Send(cmd), 512) << what;
      EXPECT_EQ(s.host.out_data.out_flags, static_cast<A_long>(0xA5A5A5A5u)) << what;
      EXPECT_STREQ(s.host.out_data.return_msg, "Internal Error") << what;
      EXPECT_EQ(s.host.out_data.sequence_data, nullptr) << what;
      EXPECT_EQ(s.host.out_data.flat_sdata_size, -7) << what;
      s.ExpectClean(what);
    }
    // A resize the host refuses leaves the handle as it was and is not an error.
    Session s(m);
    s.host.in_data.sequence_data = s.host.NewHandle(4);
    s.host.FailCall("host_resize_handle", 1, 4);
    EXPECT_EQ(s.Send(PF_Cmd_SEQUENCE_SETUP), PF_Err_NONE) << m.path;
    EXPECT_EQ(s.host.HandleSize(s.host.in_data.sequence_data), 4u) << m.path;
    EXPECT_EQ(s.Send(PF_Cmd_SEQUENCE_SETDOWN), PF_Err_NONE) << m.path;
    s.ExpectClean(m.path);
  }
}

// ---- About ---------------------------------------------------------------------------------

TEST(ModuleLifecycle, AboutTextByteForByte) {
  for (const auto& m : BuiltModules()) {
    const std::string expected = FactsOf(m).about;
    {
      Session s(m);
      std::memset(s.host.out_data.return_msg, 'x', sizeof s.host.out_data.return_msg);
      EXPECT_EQ(s.Send(PF_Cmd_ABOUT), PF_Err_NONE) << m.path;
      // The text and its terminating NUL, nothing more.
      EXPECT_EQ(std::string(s.host.out_data.return_msg, expected.size() + 1),
                expected + std::string(1, '\0'))
          << m.path;
      s.ExpectClean(m.path);
    }
    for (bool premiere : {true, false}) {
      Session s(m, premiere ? HostApp::Premiere : HostApp::AfterEffects);
      if (!premiere) s.host.RemoveSuite("PF ANSI Suite", 1);
      std::memset(s.host.out_data.return_msg, 'x', sizeof s.host.out_data.return_msg);
      EXPECT_EQ(s.Send(PF_Cmd_ABOUT), premiere ? PF_Err_NONE : 516) << m.path;
      EXPECT_EQ(std::string(s.host.out_data.return_msg, sizeof s.host.out_data.return_msg),
                std::string(sizeof s.host.out_data.return_msg, 'x'))
          << m.path;
      if (premiere) {
        EXPECT_TRUE(s.host.SuiteLog().empty()) << m.path;
      }
      s.ExpectClean(m.path);
    }
  }
}

// ---- smart pre-render ----------------------------------------------------------------------

bool Same(const PF_LRect& a, const PF_LRect& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ModuleLifecycle, SmartPreRenderReportsTheUnionOfWhatArrivedAndWhatTheInputCovers) {
  struct Union {
    PF_LRect arrived, checkout, expected;
  };
  const Union unions[] = {
      {{0, 0, 0, 0}, {0, 0, 100, 50}, {0, 0, 100, 50}},       // empty output takes the input's
      {{3, 3, 1, 1}, {7, 7, 3, 3}, {7, 7, 3, 3}},             // ... even an empty one
      {{10, 10, 20, 20}, {-5, 2, 15, 40}, {-5, 2, 20, 40}},   // bounding box
      {{10, 10, 20, 20}, {12, 12, 18, 18}, {10, 10, 20, 20}}, // inside
      {{10, 10, 20, 20}, {5, 5, 5, 5}, {10, 10, 20, 20}},     // empty input changes nothing
  };
  PF_RenderRequest request;
  std::memset(&request, 0xA7, sizeof request);  // reserved words and padding included
  request.rect = PF_LRect{-4, -3, 640, 480};

  for (const auto& m : BuiltModules()) {
    Session s(m);
    s.host.in_data.current_time = 1200;
    s.host.in_data.time_step = 50;
    s.host.in_data.time_scale = 2400;
    const std::size_t n = std::size(unions);
    for (std::size_t i = 0; i < n; ++i) {
      // result_rect and max_result_rect are widened independently: give them different cases.
      const Union& r = unions[i];
      const Union& mx = unions[(i + 2) % n];
      s.host.prerender.answer = PF_CheckoutResult{};
      s.host.prerender.answer.result_rect = r.checkout;
      s.host.prerender.answer.max_result_rect = mx.checkout;
      PF_PreRenderExtra* extra = s.host.prerender.Prepare(request, r.arrived, mx.arrived);
      extra->output->solid = 1;
      extra->output->flags = 0x31;
      EXPECT_EQ(s.Send(PF_Cmd_SMART_PRE_RENDER, extra), PF_Err_NONE) << m.path << " " << i;
      EXPECT_TRUE(Same(extra->output->result_rect, r.expected)) << m.path << " " << i;
      EXPECT_TRUE(Same(extra->output->max_result_rect, mx.expected)) << m.path << " " << i;
      EXPECT_EQ(extra->output->solid, 1);
      EXPECT_EQ(extra->output->flags, 0x31);
    }
    const auto calls = s.host.prerender.Calls();
    ASSERT_EQ(calls.size(), n) << m.path;
    for (const auto& c : calls) {
      EXPECT_EQ(c.effect_ref, s.host.in_data.effect_ref);
      EXPECT_EQ(c.index, 0);
      EXPECT_EQ(c.checkout_id, 0);
      EXPECT_EQ(std::memcmp(&c.request, &request, sizeof request), 0) << m.path;
      EXPECT_EQ(c.what_time, 1200);
      EXPECT_EQ(c.time_step, 50);
      EXPECT_EQ(c.time_scale, 2400u);
    }

    // A refused checkout is the command's result and leaves the rectangles as they came.
    s.host.FailCall("checkout_layer", 1, 0x33);
    s.host.prerender.answer.result_rect = PF_LRect{0, 0, 9, 9};
    PF_PreRenderExtra* extra =
        s.host.prerender.Prepare(request, PF_LRect{1, 1, 2, 2}, PF_LRect{0, 0, 0, 0});
    EXPECT_EQ(s.Send(PF_Cmd_SMART_PRE_RENDER, extra), 0x33) << m.path;
    EXPECT_TRUE(Same(extra->output->result_rect, PF_LRect{1, 1, 2, 2})) << m.path;
    EXPECT_TRUE(Same(extra->output->max_result_rect, PF_LRect{0, 0, 0, 0})) << m.path;
    s.ExpectClean(m.path);
  }
}

}  // namespace
