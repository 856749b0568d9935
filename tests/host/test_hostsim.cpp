// The simulated host is the measuring instrument of every other test: its fault injection and
// its counts must themselves be right.
#include <gtest/gtest.h>

#include <cstring>

#include "hostsim/host.h"

using tavu::hostsim::Host;
using tavu::hostsim::HostApp;

namespace {

TEST(HostSim, InjectedFaultsHitExactlyTheCallsAskedFor) {
  Host host;
  host.FailCall("add_param", 3, 77);
  host.FailCall("add_param", 1, 5);
  PF_ParamDef def{};
  std::vector<PF_Err> results;
  for (int i = 0; i < 5; ++i) results.push_back(host.in_data.inter.add_param(nullptr, -1, &def));
  EXPECT_EQ(results, (std::vector<PF_Err>{5, 0, 77, 0, 0}));
  EXPECT_EQ(host.added_params.size(), 3u);
  EXPECT_EQ(host.CallCount("add_param"), 5);

  host.FailAllCalls("add_param", 9);
  EXPECT_EQ(host.in_data.inter.add_param(nullptr, -1, &def), 9);
  EXPECT_EQ(host.in_data.inter.add_param(nullptr, -1, &def), 9);
  host.ClearFaults();
  EXPECT_EQ(host.in_data.inter.add_param(nullptr, -1, &def), 0);
}

TEST(HostSim, HandlesAreCountedAndMayMoveOnResize) {
  Host host;
  PF_UtilCallbacks* u = host.in_data.utils;
  PF_Handle h = u->host_new_handle(8);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(*h)[0], Host::kFreshHandleByte);
  std::memcpy(*h, "abcdefgh", 8);
  host.set_move_handles_on_resize(true);
  PF_Handle moved = h;
  EXPECT_EQ(u->host_resize_handle(16, &moved), PF_Err_NONE);
  EXPECT_NE(moved, h);
  EXPECT_EQ(u->host_get_handle_size(moved), 16u);
  EXPECT_EQ(std::memcmp(*moved, "abcdefgh", 8), 0);
  EXPECT_EQ(host.LiveHandles(), 1);
  u->host_dispose_handle(moved);
  EXPECT_EQ(host.LiveHandles(), 0);

  host.FailCall("host_new_handle", 1, 1);
  EXPECT_EQ(u->host_new_handle(4), nullptr);
  EXPECT_EQ(host.LiveHandles(), 0);
}

TEST(HostSim, PixelFormatSuiteOnlyInPremiere) {
  for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
    Host host(app);
    const void* suite = nullptr;
    const SPErr err = host.basic_suite()->AcquireSuite("PF Pixel Format Suite", 1, &suite);
    EXPECT_EQ(err == kSPNoError, app == HostApp::Premiere);
    if (suite) host.basic_suite()->ReleaseSuite("PF Pixel Format Suite", 1);
    EXPECT_EQ(host.OutstandingSuites(), 0);
  }
}

}  // namespace
