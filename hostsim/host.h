// A simulated host that plays After Effects or Premiere Pro for tests and for the command-line
// renderer. It serves the basic suite with a registry of suites by name and version, logs every
// acquisition and release, counts what is still acquired or allocated, and fails any call on
// request, so a test can drive a module down every path a real host can send it.
//
// One Host is active per process at a time: host callbacks that carry no context (the basic
// suite, handle functions) find it through Host::Current().
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "hostsim/aegp_suites.h"
#include "hostsim/prerender.h"
#include "platform/pf_suites.h"

namespace tavu::hostsim {

enum class HostApp { AfterEffects, Premiere };

class RenderServices;  // hostsim/render_services.h

struct SuiteCall {
  enum class Kind { Acquire, Release };
  Kind kind;
  std::string name;
  int32_t version;
  SPErr result;
};

class Host {
 public:
  explicit Host(HostApp app = HostApp::AfterEffects);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  static Host& Current();
  static bool Active();

  HostApp app() const { return app_; }
  // Records as the host passes them to the module; tests may change any field.
  PF_InData in_data{};
  PF_OutData out_data{};
  // Resets out_data to what the host passes before a command (zeroed record).
  void ResetOutData();

  // ---- suites ------------------------------------------------------------------------------
  void AddSuite(const char* name, int32_t version, const void* table);
  void RemoveSuite(const char* name, int32_t version);
  // AcquireSuite returns `code` after writing `written` (which may be non-null).
  void FailAcquire(const char* name, int32_t version, SPErr code, const void* written);
  // AcquireSuite returns success but writes a null pointer.
  void AcquireYieldsNull(const char* name, int32_t version);
  std::vector<SuiteCall> SuiteLog() const;
  void ClearSuiteLog();
  // Successful acquisitions not yet released, in total and per suite.
  int OutstandingSuites() const;
  int Outstanding(const char* name, int32_t version) const;
  const SPBasicSuite* basic_suite() const { return &basic_; }

  // ---- faults ------------------------------------------------------------------------------
  // The nth call of the named callback from now on (1 = the next one) fails with `code`.
  void FailCall(const std::string& callback, int nth, PF_Err code);
  // Every call of the named callback fails with `code` until ClearFaults.
  void FailAllCalls(const std::string& callback, PF_Err code);
  void ClearFaults();
  // Called by every simulated callback: counts the call and returns the injected failure, if any.
  std::optional<PF_Err> Fault(const std::string& callback);
  int CallCount(const std::string& callback) const;

  // ---- handles (utility callbacks and "PF Handle Suite" 2) --------------------------------
  PF_Handle NewHandle(A_HandleSize size);
  void DisposeHandle(PF_Handle handle);
  A_HandleSize HandleSize(PF_Handle handle) const;
  int LiveHandles() const;
  int LockedHandles() const;
  // When set, a resize gives the handle a new address (as a real host may), so the module must
  // use the handle written back through the pointer it passed.
  void set_move_handles_on_resize(bool move) { move_on_resize_ = move; }
  PF_Err ResizeHandle(A_HandleSize size, PF_Handle* handle);
  void* LockHandle(PF_Handle handle);
  void UnlockHandle(PF_Handle handle);
  // Content of a fresh handle before the module writes it: not zero, so that a module relying
  // on zeroed memory from the host is caught.
  static constexpr unsigned char kFreshHandleByte = 0xCD;

  // ---- pixel formats ("PF World Suite" 2, "PF Pixel Format Suite" 1) -----------------------
  // The format the host reports for a world; a world it never heard of reports 0.
  void SetWorldFormat(const PF_EffectWorld* world, PF_PixelFormat format);
  PF_PixelFormat WorldFormat(const PF_EffectWorld* world) const;
  // Formats the module declared through the pixel-format suite, in call order; a clear is
  // recorded as 0.
  std::vector<PrPixelFormat> declared_formats;

  // ---- parameters --------------------------------------------------------------------------
  // Every definition the module added with add_param, in order.
  std::vector<PF_ParamDef> added_params;
  std::vector<PF_ParamIndex> add_param_indices;

  // ---- rendering: iterate and sampling suites, parameter check-out, smart render -----------
  // (hostsim/render_services.h)
  RenderServices& render() { return *render_; }

  // ---- calls recorded for tests ------------------------------------------------------------
  std::vector<std::string> sprintf_results;

  // ---- AEGP utility and memory suites, DRAWBOT suites (hostsim/aegp_suites.h) --------------
  AegpSim aegp;
  // ---- smart pre-render: the extra record and checkout_layer (hostsim/prerender.h) ---------
  PreRenderSim prerender;

 private:
  struct HandleBlock;
  HandleBlock* Block(PF_Handle handle) const;

  HostApp app_;
  SPBasicSuite basic_{};
  PF_UtilCallbacks utils_{};
  PF_HandleSuite handle_suite_{};
  PF_ANSICallbacksSuite ansi_suite_{};
  PF_WorldSuite world_suite_{};
  PF_PixelFormatSuite pixel_format_suite_{};
  std::map<const PF_EffectWorld*, PF_PixelFormat> world_formats_;

  mutable std::mutex mutex_;
  struct SuiteKey {
    std::string name;
    int32_t version;
    bool operator<(const SuiteKey& o) const {
      return name != o.name ? name < o.name : version < o.version;
    }
  };
  struct SuiteFault {
    SPErr code;
    const void* written;
  };
  std::map<SuiteKey, const void*> suites_;
  std::map<SuiteKey, SuiteFault> suite_faults_;
  std::map<SuiteKey, int> outstanding_;
  std::vector<SuiteCall> suite_log_;

  struct CallFault {
    int remaining;  // calls to let through before failing; -1: fail every call
    PF_Err code;
  };
  std::map<std::string, std::vector<CallFault>> call_faults_;
  std::map<std::string, int> call_counts_;

  std::map<HandleBlock*, bool> handles_;
  bool move_on_resize_ = false;

  std::unique_ptr<RenderServices> render_;

  friend struct BasicSuiteImpl;
};

}  // namespace tavu::hostsim
