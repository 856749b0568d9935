// The script bridge: replacement, the script cut, result handling on every path, alert escaping.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "host/script_bridge.h"
#include "hostsim/host.h"
#include "tests/support/host_checks.h"

using tavu::host::alert;
using tavu::host::runScript;
using tavu::host::strReplace;
using tavu::hostsim::Host;
using tavu::hostsim::HostApp;
using tavu::testing::Acquired;
using tavu::testing::Throws;

namespace {

using namespace std::string_literals;

TEST(ScriptBridge, StrReplaceNeverOverlapsNorRescans) {
  const struct {
    std::string text, pattern, replacement, expected;
    A_long count;
  } cases[] = {
      {"aXbXc", "X", "YY", "aYYbYYc", 2}, {"aaaa", "aa", "b", "bb", 2},
      {"aa", "a", "aa", "aaaa", 2},       {"abc", "z", "q", "abc", 0},
      {"", "a", "b", "", 0},              {"abc", "", "x", "abc", 0},
      {"a\0b\0"s, "\0"s, "-", "a-b-", 2},
  };
  for (const auto& c : cases) {
    std::string text = c.text;
    EXPECT_EQ(strReplace(text, c.pattern, c.replacement), c.count) << c.text;
    EXPECT_EQ(text, c.expected) << c.text;
  }
}

TEST(ScriptBridge, ScriptsReachTheHostCutAtTheirNulOrAt16381Characters) {
  std::string numbered(20000, ' ');
  for (std::size_t i = 0; i < numbered.size(); ++i) numbered[i] = static_cast<char>('a' + i % 26);
  const struct {
    std::string script;
    std::size_t received;
  } cases[] = {
      {numbered, 16381},
      {numbered.substr(0, 16382), 16381},
      {numbered.substr(0, 16381), 16381},
      {numbered.substr(0, 5), 5},
      {"ab\0cd"s, 2},
      {"", 0},
  };
  for (const auto& c : cases) {
    Host host;
    std::string result = "stale";
    runScript(&host.in_data, c.script, result);
    ASSERT_EQ(host.aegp.scripts.size(), 1u);
    const auto& run = host.aegp.scripts[0];
    EXPECT_EQ(run.script, c.script.substr(0, c.received)) << c.received;
    EXPECT_EQ(run.pluginId, 0);
    EXPECT_EQ(run.platformEncoding, 0);
    EXPECT_FALSE(run.errorHandleAsked);
    EXPECT_EQ(result, "");  // the host answered with an empty text
  }
}

TEST(ScriptBridge, ResultHandleIsFreedWheneverTheScriptRan) {
  struct Case {
    const char* what;
    std::string hostResult;
    std::function<void(Host&)> fault;
    std::string expected;
    bool memorySuiteTaken;
  };
  const Case cases[] = {
      {"text", "42", [](Host&) {}, "42", true},
      {"text with a NUL", "ab\0cd"s, [](Host&) {}, "ab", true},
      {"script fails", "42", [](Host& h) { h.FailCall("AEGP_ExecuteScript", 1, 3); }, "", false},
      {"lock fails", "42", [](Host& h) { h.FailCall("AEGP_LockMemHandle", 1, 3); }, "", true},
      // Nothing to lock or free: a lock of no handle would be a host call on nothing.
      {"script succeeds without a result handle", "42",
       [](Host& h) { h.aegp.script_result_handle = false; }, "", false},
  };
  for (const auto& c : cases) {
    Host host;
    host.aegp.script_result = c.hostResult;
    c.fault(host);
    std::string result = "stale";
    runScript(&host.in_data, "1+1", result);
    EXPECT_EQ(result, c.expected) << c.what;
    EXPECT_EQ(Acquired(host, "AEGP Memory Suite"), c.memorySuiteTaken) << c.what;
    EXPECT_EQ(host.CallCount("AEGP_LockMemHandle"), c.memorySuiteTaken ? 1 : 0) << c.what;
    EXPECT_EQ(host.CallCount("AEGP_FreeMemHandle"), c.memorySuiteTaken ? 1 : 0) << c.what;
    EXPECT_EQ(host.aegp.LiveMemHandles(), 0) << c.what;
    EXPECT_EQ(host.OutstandingSuites(), 0) << c.what;
  }
}

TEST(ScriptBridge, MissingSuitesThrow516AndReleaseWhatWasTaken) {
  for (bool noBasic : {true, false}) {
    Host host;
    if (noBasic) {
      host.in_data.pica_basicP = nullptr;
    } else {
      host.RemoveSuite("AEGP Utility Suite", 11);
    }
    std::string result = "kept";
    EXPECT_EQ(Throws([&] { runScript(&host.in_data, "1", result); }), 516);
    EXPECT_EQ(Throws([&] { alert(&host.in_data, "hello"); }), 516);
    EXPECT_EQ(result, "kept");
    EXPECT_EQ(host.OutstandingSuites(), 0);
  }
}

TEST(ScriptBridge, NothingRunsInPremiere) {
  Host host(HostApp::Premiere);
  std::string result = "kept";
  runScript(&host.in_data, "1+1", result);
  alert(&host.in_data, "hello");
  EXPECT_EQ(result, "kept");
  EXPECT_TRUE(host.aegp.scripts.empty());
  EXPECT_TRUE(host.SuiteLog().empty());
}

TEST(ScriptBridge, AlertEscapesWhatWouldBreakTheScriptString) {
  const struct {
    std::string message, script;
  } cases[] = {
      {"", "alert('');"},
      {"a\r\nb", "alert('a\\r\\nb');"},
      {"it's\tdone", "alert('it\"s done');"},
      {"back\\slash \"quoted\"", "alert('back\\slash \"quoted\"');"},
  };
  for (const auto& c : cases) {
    Host host;
    alert(&host.in_data, c.message);
    ASSERT_EQ(host.aegp.scripts.size(), 1u);
    EXPECT_EQ(host.aegp.scripts[0].script, c.script);
    EXPECT_EQ(host.aegp.LiveMemHandles(), 0);
  }
}

}  // namespace
