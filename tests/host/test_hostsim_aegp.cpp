// The simulated host's AEGP suites and pre-render callback count and fail exactly as asked, or
// the leak and path checks built on them would prove nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostsim/host.h"

using tavu::hostsim::Host;

namespace {

template <typename Suite>
const Suite* Take(Host& host, const char* name, int32_t version) {
  const void* suite = nullptr;
  EXPECT_EQ(host.basic_suite()->AcquireSuite(name, version, &suite), kSPNoError) << name;
  return static_cast<const Suite*>(suite);
}

TEST(HostSimAegp, RegistrationAndScriptsAreRecordedAndFailable) {
  Host host;
  const auto* u7 = Take<AEGP_UtilitySuite7>(host, "AEGP Utility Suite", 7);
  const auto* u11 = Take<AEGP_UtilitySuite11>(host, "AEGP Utility Suite", 11);
  AEGP_PluginID id = -1;
  EXPECT_EQ(u7->AEGP_RegisterWithAEGP(nullptr, "one", &id), 0);
  EXPECT_EQ(id, 0x7A00);
  host.FailCall("AEGP_RegisterWithAEGP", 1, 12);
  EXPECT_EQ(u7->AEGP_RegisterWithAEGP(nullptr, "two", &id), 12);
  EXPECT_EQ(id, 0x7A00);  // not written on failure
  EXPECT_EQ(u11->AEGP_RegisterWithAEGP(nullptr, "three", &id), 0);
  EXPECT_EQ(id, 0x7A01);
  EXPECT_EQ(host.aegp.registered_names, (std::vector<std::string>{"one", "three"}));

  host.aegp.script_result = "done";
  AEGP_MemHandle result = nullptr;
  host.FailCall("AEGP_ExecuteScript", 1, 5);
  EXPECT_EQ(u11->AEGP_ExecuteScript(3, "x()", 1, &result, nullptr), 5);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(host.aegp.MemHandlesMade(), 0);
  EXPECT_EQ(u11->AEGP_ExecuteScript(3, "y()", 0, &result, nullptr), 0);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(host.aegp.scripts.size(), 2u);
  EXPECT_EQ(host.aegp.scripts[1].script, "y()");
  EXPECT_EQ(host.aegp.scripts[0].pluginId, 3);

  const auto* mem = Take<AEGP_MemorySuite1>(host, "AEGP Memory Suite", 1);
  void* text = nullptr;
  host.FailCall("AEGP_LockMemHandle", 1, 6);
  EXPECT_EQ(mem->AEGP_LockMemHandle(result, &text), 6);
  EXPECT_EQ(text, nullptr);
  EXPECT_EQ(mem->AEGP_LockMemHandle(result, &text), 0);
  EXPECT_STREQ(static_cast<const char*>(text), "done");
  EXPECT_EQ(host.aegp.LiveMemHandles(), 1);
  EXPECT_EQ(mem->AEGP_FreeMemHandle(result), 0);  // locked handles may be freed
  EXPECT_EQ(host.aegp.LiveMemHandles(), 0);
}

TEST(HostSimAegp, CheckoutLayerAnswersAsScriptedOrFails) {
  Host host;
  PF_RenderRequest request{};
  request.rect = PF_LRect{1, 2, 3, 4};
  PF_PreRenderExtra* extra = host.prerender.Prepare(request, PF_LRect{}, PF_LRect{});
  host.prerender.answer.result_rect = PF_LRect{5, 6, 7, 8};
  PF_CheckoutResult out{};
  EXPECT_EQ(extra->cb->checkout_layer(&host, 0, 0, &extra->input->output_request, 1, 2, 3, &out),
            0);
  EXPECT_EQ(out.result_rect.bottom, 8);
  host.FailCall("checkout_layer", 1, 9);
  PF_CheckoutResult untouched{};
  EXPECT_EQ(extra->cb->checkout_layer(&host, 0, 0, &request, 1, 2, 3, &untouched), 9);
  EXPECT_EQ(untouched.result_rect.bottom, 0);
  const auto calls = host.prerender.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(std::memcmp(&calls[0].request, &request, sizeof request), 0);
}

}  // namespace
