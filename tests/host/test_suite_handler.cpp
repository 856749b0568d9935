#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "host/suite_handler.h"
#include "hostsim/host.h"
#include "tests/support/host_checks.h"

using tavu::hostsim::Host;
using tavu::hostsim::SuiteCall;
using tavu::testing::Throws;

namespace {

std::vector<std::pair<std::string, int>> Calls(const Host& host, SuiteCall::Kind kind) {
  std::vector<std::pair<std::string, int>> out;
  for (const auto& c : host.SuiteLog())
    if (c.kind == kind) out.emplace_back(c.name, c.version);
  return out;
}

TEST(SuiteCatalogue, HoldsDistinctSuitesInReleaseOrder) {
  std::set<std::pair<std::string, int>> seen;
  for (const auto& e : tavu::host::kSuiteCatalogue) seen.insert({e.name, e.version});
  EXPECT_EQ(seen.size(), 135u);

  // Positions a careless edit would move, and names whose spelling the host insists on.
  struct Spot {
    int index;
    const char* name;
    int version;
  } spots[] = {
      {0, "AEGP Marker Suite", 1},        {5, "AEGP Stream Suite", 10},
      {9, "AEGP Stream Suite", 4},        {58, "AEGP Utility Suite", 7},
      {64, "PF ANSI Suite", 1},           {65, "PF Handle Suite", 2},
      {79, "PF Iterate8 Suite", 1},       {80, "PF iterate16 Suite", 1},
      {81, "PF iterateFloat Suite", 1},   {95, "AE Plugin Helper Suite2", 2},
      {123, "PF ColorParamSuite", 1},     {124, "PF SamplingFloat Suite", 1},
      {125, "AEGP Utility Suite", 11},    {133, "DRAWBOT Path Suite", 1},
      {134, "SP Suites Suite", 2},
  };
  for (const auto& s : spots) {
    EXPECT_STREQ(tavu::host::kSuiteCatalogue[s.index].name, s.name) << s.index;
    EXPECT_EQ(tavu::host::kSuiteCatalogue[s.index].version, s.version) << s.index;
  }
  // The two suites taken directly through the basic suite are not the holder's.
  EXPECT_EQ(tavu::host::CatalogueIndex("PF World Suite", 2), -1);
  EXPECT_EQ(tavu::host::CatalogueIndex("PF Pixel Format Suite", 1), -1);
}

TEST(SuiteHandler, UnusedHolderMakesNoHostCall) {
  Host host;
  { AEGP_SuiteHandler suites(host.basic_suite()); }
  EXPECT_TRUE(host.SuiteLog().empty());
}

TEST(SuiteHandler, NullBasicSuiteThrowsBeforeAnyCall) {
  Host host;
  EXPECT_EQ(Throws([] { AEGP_SuiteHandler suites(nullptr); }), PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(host.SuiteLog().empty());
}

TEST(SuiteHandler, AcquiresOncePerHolderAndReleasesOnce) {
  Host host;
  const void* first = nullptr;
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    first = suites.HandleSuite2();
    EXPECT_EQ(suites.HandleSuite2(), first);
    EXPECT_EQ(suites.HandleSuite2(), first);
    EXPECT_EQ(host.Outstanding("PF Handle Suite", 2), 1);
  }
  using P = std::pair<std::string, int>;
  EXPECT_EQ(Calls(host, SuiteCall::Kind::Acquire), (std::vector<P>{{"PF Handle Suite", 2}}));
  EXPECT_EQ(Calls(host, SuiteCall::Kind::Release), (std::vector<P>{{"PF Handle Suite", 2}}));
  EXPECT_EQ(host.OutstandingSuites(), 0);
}

TEST(SuiteHandler, EveryAccessorAcquiresItsOwnNameAndVersion) {
  struct Case {
    const char* name;
    int version;
    std::function<const void*(const AEGP_SuiteHandler&)> get;
  } cases[] = {
      {"PF Handle Suite", 2, [](auto& s) { return (const void*)s.HandleSuite2(); }},
      {"AEGP Utility Suite", 7, [](auto& s) { return (const void*)s.UtilitySuite7(); }},
      {"AEGP Utility Suite", 11, [](auto& s) { return (const void*)s.UtilitySuite11(); }},
      {"AEGP Memory Suite", 1, [](auto& s) { return (const void*)s.MemorySuite1(); }},
      {"PF ANSI Suite", 1, [](auto& s) { return (const void*)s.ANSICallbacksSuite1(); }},
      {"PF Iterate8 Suite", 1, [](auto& s) { return (const void*)s.Iterate8Suite1(); }},
      {"PF iterate16 Suite", 1, [](auto& s) { return (const void*)s.Iterate16Suite1(); }},
      {"PF iterateFloat Suite", 1, [](auto& s) { return (const void*)s.IterateFloatSuite1(); }},
      {"PF Sampling8 Suite", 1, [](auto& s) { return (const void*)s.Sampling8Suite1(); }},
      {"PF Sampling16 Suite", 1, [](auto& s) { return (const void*)s.Sampling16Suite1(); }},
      {"PF SamplingFloat Suite", 1, [](auto& s) { return (const void*)s.SamplingFloatSuite1(); }},
  };
  for (const auto& c : cases) {
    Host host;
    int table = 0;  // any distinct address stands for the suite's function table
    host.AddSuite(c.name, c.version, &table);
    {
      AEGP_SuiteHandler suites(host.basic_suite());
      EXPECT_EQ(c.get(suites), &table) << c.name << " " << c.version;
    }
    using P = std::pair<std::string, int>;
    EXPECT_EQ(Calls(host, SuiteCall::Kind::Acquire), (std::vector<P>{{c.name, c.version}}));
    EXPECT_EQ(host.OutstandingSuites(), 0) << c.name;
  }
}

TEST(SuiteHandler, FailedAcquisitionsThrowAndReleaseNothingTheyDidNotGet) {
  struct Case {
    const char* what;
    std::function<void(Host&)> fault;
  };
  static int stray = 0;
  const Case cases[] = {
      {"missing", [](Host& h) { h.RemoveSuite("PF Handle Suite", 2); }},
      {"success with null", [](Host& h) { h.AcquireYieldsNull("PF Handle Suite", 2); }},
      {"error with a pointer", [](Host& h) { h.FailAcquire("PF Handle Suite", 2, 7, &stray); }},
  };
  for (const auto& c : cases) {
    Host host;
    c.fault(host);
    EXPECT_EQ(Throws([&] {
                AEGP_SuiteHandler suites(host.basic_suite());
                suites.HandleSuite2();
              }),
              PF_Err_BAD_CALLBACK_PARAM)
        << c.what;
    EXPECT_TRUE(Calls(host, SuiteCall::Kind::Release).empty()) << c.what;
  }
}

TEST(SuiteHandler, ReleasesInCatalogueOrderNotAcquisitionOrder) {
  Host host;
  int utility = 0;
  host.AddSuite("AEGP Utility Suite", 7, &utility);
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    suites.HandleSuite2();
    suites.UtilitySuite7();
  }
  using P = std::pair<std::string, int>;
  EXPECT_EQ(Calls(host, SuiteCall::Kind::Release),
            (std::vector<P>{{"AEGP Utility Suite", 7}, {"PF Handle Suite", 2}}));
}

TEST(SuiteHandler, MissingSecondSuiteStillReleasesTheFirstOnce) {
  Host host;
  host.RemoveSuite("AEGP Utility Suite", 7);
  EXPECT_EQ(Throws([&] {
              AEGP_SuiteHandler suites(host.basic_suite());
              suites.HandleSuite2();
              suites.UtilitySuite7();
            }),
            PF_Err_BAD_CALLBACK_PARAM);
  using P = std::pair<std::string, int>;
  EXPECT_EQ(Calls(host, SuiteCall::Kind::Release), (std::vector<P>{{"PF Handle Suite", 2}}));
  EXPECT_EQ(host.OutstandingSuites(), 0);
}

TEST(SuiteHandler, ReleaseErrorsDoNotStopTheWalk) {
  Host host;
  int utility = 0;
  host.AddSuite("AEGP Utility Suite", 7, &utility);
  host.FailAllCalls("ReleaseSuite", 99);
  {
    AEGP_SuiteHandler suites(host.basic_suite());
    suites.HandleSuite2();
    suites.UtilitySuite7();
  }
  EXPECT_EQ(Calls(host, SuiteCall::Kind::Release).size(), 2u);
  EXPECT_EQ(host.OutstandingSuites(), 0);
}

}  // namespace
