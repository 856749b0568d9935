// Suite acquisition that reports failure the way a command reports it to the user, by a result
// code, PF_OutFlag_DISPLAY_ERROR_MESSAGE and a text in return_msg, never by an exception. The
// result-code counterpart of AEGP_SuiteHandler, for code that must not throw.
#pragma once

#include "platform/pf_suites.h"

#ifdef __cplusplus
extern "C" {
#endif

// *suite must be null on entry; it is left as the host wrote it. error_text, when given,
// replaces the default message.
PF_Err AEFX_AcquireSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                         int32_t version, const char* error_text, void** suite);
PF_Err AEFX_ReleaseSuite(PF_InData* in_data, PF_OutData* out_data, const char* name,
                         int32_t version, const char* error_text);

// The four drawing suites as a set. On a failure the suites acquired before it stay in the
// record (the caller releases the set); later fields are not touched.
PF_Err AEFX_AcquireDrawbotSuites(PF_InData* in_data, PF_OutData* out_data, DRAWBOT_Suites* suites);
// Releases all four, reporting each failure and going on; always answers 0.
PF_Err AEFX_ReleaseDrawbotSuites(PF_InData* in_data, PF_OutData* out_data);

#ifdef __cplusplus
}
#endif
