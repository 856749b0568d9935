// Global set-up and set-down: the module's version and capability flags, Premiere Pro's pixel
// format, and the global-data handle with the plug-in id from the AEGP layer.
#include <cstdint>

#include "framework/capabilities.h"
#include "framework/effect_interface.h"
#include "framework/handlers.h"
#include "framework/identity.h"
#include "host/suite_handler.h"

namespace tavu::framework {
namespace {

// The record in the global-data handle. Nothing reads it after set-up; it exists so the host
// has one handle per module that lives from global set-up to global set-down.
struct GlobalData {
  A_u_char initialized;
  AEGP_PluginID pluginId;
  uint64_t reserved1;
  uint64_t reserved2;
};
static_assert(sizeof(GlobalData) == 24, "the host allocates 24 bytes of global data");

// Owns a freshly allocated handle until it is handed to the host, so that every path that does
// not store it (an error code, a lock without a pointer, a missing suite thrown as 516) frees it.
class PendingHandle {
 public:
  PendingHandle(const PF_HandleSuite* suite, PF_Handle handle) : suite_(suite), handle_(handle) {}
  ~PendingHandle() {
    if (handle_ != nullptr) suite_->host_dispose_handle(handle_);
  }
  PendingHandle(const PendingHandle&) = delete;
  PendingHandle& operator=(const PendingHandle&) = delete;

  PF_Handle get() const { return handle_; }
  PF_Handle Release() {
    PF_Handle h = handle_;
    handle_ = nullptr;
    return h;
  }

 private:
  const PF_HandleSuite* suite_;
  PF_Handle handle_;
};

// Unlocks on every path that tried to lock, whether or not the lock gave a pointer.
class HandleLock {
 public:
  HandleLock(const PF_HandleSuite* suite, PF_Handle handle)
      : suite_(suite), handle_(handle), data_(suite->host_lock_handle(handle)) {}
  ~HandleLock() { suite_->host_unlock_handle(handle_); }
  HandleLock(const HandleLock&) = delete;
  HandleLock& operator=(const HandleLock&) = delete;

  void* data() const { return data_; }

 private:
  const PF_HandleSuite* suite_;
  PF_Handle handle_;
  void* data_;
};

// Premiere Pro hands the module 8-bit BGRA frames only once it has been told so. The suite is
// not in the holder's catalogue, so it is taken and given back through the basic suite itself.
void DeclarePremierePixelFormat(const PF_InData* in_data) {
  const SPBasicSuite* basic = in_data->pica_basicP;
  if (basic == nullptr) return;  // the suite holder reports the missing basic suite next
  const void* suite = nullptr;
  // Only the pointer counts: a host that answers with an error but a table is still used.
  basic->AcquireSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion, &suite);
  if (suite == nullptr) return;
  const auto* formats = static_cast<const PF_PixelFormatSuite*>(suite);
  formats->ClearSupportedPixelFormats(in_data->effect_ref);
  formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_8u);
  basic->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion);
}

}  // namespace

PF_Err GlobalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  const HostApp host = HostOf(in_data);
  const PF_OutFlags2 effectFlags2 = effect::kIdentity.extraOutFlags2;

  // The After Effects words first, so that they stand on every failure path below.
  const OutFlagWords ae = DeclaredFlags(HostApp::AfterEffects, effectFlags2);
  out_data->my_version = kVersionWord;
  out_data->out_flags = ae.outFlags;
  out_data->out_flags2 = ae.outFlags2;
  if (host == HostApp::Premiere) {
    const OutFlagWords premiere = DeclaredFlags(HostApp::Premiere, effectFlags2);
    out_data->out_flags = premiere.outFlags;
    out_data->out_flags2 = premiere.outFlags2;
    DeclarePremierePixelFormat(in_data);
  }

  // Declared before the guards so that it outlives them: they still need the handle suite.
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  const PF_HandleSuite* handles = suites.HandleSuite2();
  PendingHandle handle(handles, handles->host_new_handle(sizeof(GlobalData)));
  if (handle.get() == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;

  HandleLock lock(handles, handle.get());
  auto* global = static_cast<GlobalData*>(lock.data());
  if (global == nullptr) return PF_Err_NONE;

  global->initialized = 1;
  global->reserved1 = 0;
  global->reserved2 = 0;
  if (host == HostApp::AfterEffects) {
    const PF_Err err = suites.UtilitySuite7()->AEGP_RegisterWithAEGP(
        nullptr, effect::kIdentity.displayName, &global->pluginId);
    if (err != PF_Err_NONE) return err;
  }
  out_data->global_data = handle.Release();
  return PF_Err_NONE;
}

PF_Err GlobalSetdown(PF_InData* in_data) {
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  if (in_data->global_data != nullptr) {
    suites.HandleSuite2()->host_dispose_handle(in_data->global_data);
  }
  return PF_Err_NONE;
}

}  // namespace tavu::framework
