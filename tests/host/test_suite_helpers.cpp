// The result-code suite helpers: which code, which message, which flag, and what stays acquired.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>

#include "host/suite_helpers.h"
#include "hostsim/host.h"

using tavu::hostsim::Host;
using tavu::hostsim::SuiteCall;

namespace {

constexpr A_long kOtherFlags = 0x40;  // a bit the helpers must keep
constexpr A_long kShown = PF_OutFlag_DISPLAY_ERROR_MESSAGE;
constexpr char kAcquireFailed[] = "Not able to acquire AEFX Suite.";
constexpr char kReleaseFailed[] = "Not able to release AEFX Suite.";

std::vector<std::pair<std::string, int>> Released(const Host& host) {
  std::vector<std::pair<std::string, int>> out;
  for (const auto& c : host.SuiteLog())
    if (c.kind == SuiteCall::Kind::Release) out.emplace_back(c.name, c.version);
  return out;
}

TEST(SuiteHelpers, AcquireSuiteDecidesByThePointerAloneAndReportsFailures) {
  static int table = 0;
  struct Case {
    const char* what;
    std::function<void(Host&)> arrange;
    const char* errorText;
    PF_Err expected;
    const char* message;  // null: nothing written
    const void* pointer;
  };
  const Case cases[] = {
      {"served", [](Host& h) { h.AddSuite("Test Suite", 3, &table); }, nullptr, 0, nullptr, &table},
      {"error code but a pointer", [](Host& h) { h.FailAcquire("Test Suite", 3, 7, &table); },
       nullptr, 0, nullptr, &table},
      {"missing", [](Host&) {}, nullptr, 516, kAcquireFailed, nullptr},
      {"success but null", [](Host& h) { h.AcquireYieldsNull("Test Suite", 3); }, nullptr, 516,
       kAcquireFailed, nullptr},
      {"caller's text", [](Host&) {}, "Need the test suite", 516, "Need the test suite", nullptr},
      // The text is not a format: a '%' in it is printed, not interpreted.
      {"caller's text with %", [](Host&) {}, "100% sure %s %n", 516, "100% sure %s %n", nullptr},
      {"no basic suite", [](Host& h) { h.in_data.pica_basicP = nullptr; }, nullptr, 516,
       kAcquireFailed, nullptr},
  };
  for (const auto& c : cases) {
    Host host;
    c.arrange(host);
    host.out_data.out_flags = kOtherFlags;
    void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&host.in_data, &host.out_data, "Test Suite", 3, c.errorText,
                                &suite),
              c.expected)
        << c.what;
    EXPECT_EQ(suite, c.pointer) << c.what;
    EXPECT_EQ(host.out_data.out_flags, c.message ? kOtherFlags | kShown : kOtherFlags) << c.what;
    EXPECT_STREQ(host.out_data.return_msg, c.message ? c.message : "") << c.what;
  }
}

TEST(SuiteHelpers, ReleaseSuiteGoesThroughTheBasicSuiteOrReports) {
  for (const char* text : {static_cast<const char*>(nullptr), "Custom release text"}) {
    Host host;
    host.FailAllCalls("ReleaseSuite", 9);  // the host's code is ignored
    EXPECT_EQ(AEFX_ReleaseSuite(&host.in_data, &host.out_data, "PF ANSI Suite", 1, text), 0);
    EXPECT_EQ(Released(host), (std::vector<std::pair<std::string, int>>{{"PF ANSI Suite", 1}}));
    EXPECT_EQ(host.out_data.out_flags, 0);

    host.in_data.pica_basicP = nullptr;
    EXPECT_EQ(AEFX_ReleaseSuite(&host.in_data, &host.out_data, "PF ANSI Suite", 1, text), 516);
    EXPECT_EQ(host.out_data.out_flags, kShown);
    EXPECT_STREQ(host.out_data.return_msg, text ? text : kReleaseFailed);
  }
}

TEST(SuiteHelpers, DrawbotSuitesAreAcquiredAsASetAndReleasedUnderTheirOwnVersions) {
  using P = std::pair<std::string, int>;
  const std::vector<P> all = {{"DRAWBOT Draw Suite", 1},
                              {"DRAWBOT Supplier Suite", 1},
                              {"DRAWBOT Surface Suite", 2},
                              {"DRAWBOT Path Suite", 1}};
  {
    Host host;
    DRAWBOT_Suites suites{};
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&host.in_data, &host.out_data, &suites), 0);
    EXPECT_EQ(suites.drawbot_suiteP, host.aegp.draw_suite());
    EXPECT_EQ(suites.supplier_suiteP, host.aegp.supplier_suite());
    EXPECT_EQ(suites.surface_suiteP, host.aegp.surface_suite());
    EXPECT_EQ(suites.path_suiteP, host.aegp.path_suite());
    EXPECT_EQ(host.OutstandingSuites(), 4);
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&host.in_data, &host.out_data), 0);
    EXPECT_EQ(Released(host), all);
    EXPECT_EQ(host.OutstandingSuites(), 0);
    EXPECT_EQ(host.out_data.out_flags, 0);
  }
  {
    // A host without the surface suite in version 2: the first two stay, the path field is
    // never reached.
    Host host;
    host.RemoveSuite("DRAWBOT Surface Suite", 2);
    host.AddSuite("DRAWBOT Surface Suite", 1, host.aegp.draw_suite());
    auto* untouched = reinterpret_cast<DRAWBOT_PathSuite1*>(&host);
    DRAWBOT_Suites suites{nullptr, nullptr, nullptr, untouched};
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&host.in_data, &host.out_data, &suites), 516);
    EXPECT_EQ(suites.drawbot_suiteP, host.aegp.draw_suite());
    EXPECT_EQ(suites.supplier_suiteP, host.aegp.supplier_suite());
    EXPECT_EQ(suites.surface_suiteP, nullptr);
    EXPECT_EQ(suites.path_suiteP, untouched);
    EXPECT_EQ(host.out_data.out_flags, kShown);
    EXPECT_STREQ(host.out_data.return_msg, kAcquireFailed);
    EXPECT_EQ(host.Outstanding("DRAWBOT Draw Suite", 1), 1);
    EXPECT_EQ(host.Outstanding("DRAWBOT Supplier Suite", 1), 1);
  }
  {
    Host host;
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&host.in_data, &host.out_data, nullptr), 514);
    EXPECT_STREQ(host.out_data.return_msg,
                 "NULL suite pointer passed to AEFX_AcquireDrawbotSuites");
    EXPECT_EQ(host.out_data.out_flags, kShown);
    EXPECT_TRUE(host.SuiteLog().empty());
  }
  {
    // Without a basic suite every release is reported, one message per suite, and still 0.
    Host host;
    host.in_data.pica_basicP = nullptr;
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&host.in_data, &host.out_data), 0);
    EXPECT_EQ(host.out_data.out_flags, kShown);
    EXPECT_STREQ(host.out_data.return_msg, kReleaseFailed);
    EXPECT_EQ(host.sprintf_results, std::vector<std::string>(4, kReleaseFailed));
  }
}

}  // namespace
