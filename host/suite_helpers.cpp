#include "host/suite_helpers.h"

namespace tavu::host {
namespace {

constexpr char kAcquireFailed[] = "Not able to acquire AEFX Suite.";
constexpr char kReleaseFailed[] = "Not able to release AEFX Suite.";
constexpr char kNoDrawbotRecord[] = "NULL suite pointer passed to AEFX_AcquireDrawbotSuites";

void ReportError(PF_InData* in_data, PF_OutData* out_data, const char* message) {
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
  // The message is an argument, not the format, so a caller's text holding '%' cannot make the
  // host read arguments that were never passed; the precision keeps any text inside the host's
  // 256-byte message buffer, whatever the host's sprintf does about bounds.
  in_data->utils->ansi.sprintf(out_data->return_msg, "%.255s", message);
}

struct SuiteName {
  const char* name;
  int32_t version;
};

// The drawing set, in the order of DRAWBOT_Suites; acquired and released in this order.
constexpr SuiteName kDrawbot[] = {
    {kDRAWBOT_DrawSuite, kDRAWBOT_DrawSuite_Version1},
    {kDRAWBOT_SupplierSuite, kDRAWBOT_SupplierSuite_Version1},
    {kDRAWBOT_SurfaceSuite, kDRAWBOT_SurfaceSuite_Version2},
    {kDRAWBOT_PathSuite, kDRAWBOT_PathSuite_Version1},
};

template <typename Suite>
PF_Err AcquireInto(PF_InData* in_data, PF_OutData* out_data, const SuiteName& suite,
                   Suite*& field) {
  void* pointer = nullptr;
  const PF_Err err =
      AEFX_AcquireSuite(in_data, out_data, suite.name, suite.version, nullptr, &pointer);
  field = static_cast<Suite*>(pointer);
  return err;
}

}  // namespace
}  // namespace tavu::host

using tavu::host::ReportError;

extern "C" {

PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                         int32_t version, const char* error_text, void** suite) {
  if (const SPBasicSuite* basic = in_data->pica_basicP) {
    // The pointer alone decides: the code the host returns is not examined.
    const void* acquired = *suite;
    basic->AcquireSuite(name, version, &acquired);
    *suite = const_cast<void*>(acquired);
    if (*suite != nullptr) return PF_Err_NONE;
  }
  ReportError(in_data, out_data, error_text != nullptr ? error_text : tavu::host::kAcquireFailed);
  return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                         int32_t version, const char* error_text) {
  if (const SPBasicSuite* basic = in_data->pica_basicP) {
    basic->ReleaseSuite(name, version);
    return PF_Err_NONE;
  }
  ReportError(in_data, out_data, error_text != nullptr ? error_text : tavu::host::kReleaseFailed);
  return PF_Err_BAD_CALLBACK_PARAM;
}

PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suites) {
  using tavu::host::AcquireInto;
  using tavu::host::kDrawbot;
  if (suites == nullptr) {
    ReportError(in_data, out_data, tavu::host::kNoDrawbotRecord);
    return PF_Err_UNRECOGNIZED_PARAM_TYPE;
  }
  // Stops at the first failure; what was acquired stays in the record for the caller to release.
  PF_Err err = AcquireInto(in_data, out_data, kDrawbot[0], suites->drawbot_suiteP);
  if (err == PF_Err_NONE) err = AcquireInto(in_data, out_data, kDrawbot[1], suites->supplier_suiteP);
  if (err == PF_Err_NONE) err = AcquireInto(in_data, out_data, kDrawbot[2], suites->surface_suiteP);
  if (err == PF_Err_NONE) err = AcquireInto(in_data, out_data, kDrawbot[3], suites->path_suiteP);
  return err;
}

PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data) {
  // A release that fails has been reported; the others are still given back.
  for (const auto& suite : tavu::host::kDrawbot) {
    AEFX_ReleaseSuite(in_data, out_data, suite.name, suite.version, nullptr);
  }
  return PF_Err_NONE;
}

}  // extern "C"
