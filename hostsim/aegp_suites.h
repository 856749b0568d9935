// The simulated host's AEGP side: "AEGP Utility Suite" 7 (plug-in registration) and 11 (script
// execution), "AEGP Memory Suite" 1 with counted memory handles, and the four DRAWBOT suites as
// registered tables. Every call is recorded and can be failed through Host::FailCall under the
// function's own name ("AEGP_RegisterWithAEGP", "AEGP_ExecuteScript", "AEGP_NewMemHandle",
// "AEGP_LockMemHandle", "AEGP_UnlockMemHandle", "AEGP_FreeMemHandle").
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/pf_suites.h"

namespace tavu::hostsim {

class Host;

struct ScriptRun {
  AEGP_PluginID pluginId;
  std::string script;  // the text up to its NUL, as the host reads it
  A_Boolean platformEncoding;
  bool errorHandleAsked;
};

class AegpSim {
 public:
  AegpSim() = default;
  ~AegpSim();
  AegpSim(const AegpSim&) = delete;
  AegpSim& operator=(const AegpSim&) = delete;

  // Registers the six suites with `host`; the Host constructor calls it.
  void Install(Host& host);

  // ---- "AEGP Utility Suite" 7: AEGP_RegisterWithAEGP ---------------------------------------
  // Names registered, in call order, and the id the next registration receives.
  std::vector<std::string> registered_names;
  AEGP_PluginID next_plugin_id = 0x7A00;

  // ---- "AEGP Utility Suite" 11: AEGP_ExecuteScript -----------------------------------------
  std::vector<ScriptRun> scripts;
  // The result text the host hands back in a new memory handle, followed by a NUL. It may hold
  // NULs of its own.
  std::string script_result;
  // False: a script that runs reports success but hands back no result handle.
  bool script_result_handle = true;

  // ---- "AEGP Memory Suite" 1 ---------------------------------------------------------------
  AEGP_MemHandle NewMemHandle(const void* data, AEGP_MemSize size);
  A_Err FreeMemHandle(AEGP_MemHandle mem);
  A_Err LockMemHandle(AEGP_MemHandle mem, void** data);
  A_Err UnlockMemHandle(AEGP_MemHandle mem);
  A_Err MemHandleSize(AEGP_MemHandle mem, AEGP_MemSize* size);
  int LiveMemHandles() const;
  int MemHandlesMade() const;

  // ---- DRAWBOT tables (no function is ever called through them) ----------------------------
  const DRAWBOT_DrawbotSuite1* draw_suite() const { return &draw_; }
  const DRAWBOT_SupplierSuite1* supplier_suite() const { return &supplier_; }
  const DRAWBOT_SurfaceSuite2* surface_suite() const { return &surface_; }
  const DRAWBOT_PathSuite1* path_suite() const { return &path_; }

 private:
  struct MemBlock;
  MemBlock* Block(AEGP_MemHandle mem) const;

  AEGP_UtilitySuite7 utility7_{};
  AEGP_UtilitySuite11 utility11_{};
  AEGP_MemorySuite1 memory_{};
  DRAWBOT_DrawbotSuite1 draw_{};
  DRAWBOT_SupplierSuite1 supplier_{};
  DRAWBOT_SurfaceSuite2 surface_{};
  DRAWBOT_PathSuite1 path_{};

  mutable std::mutex mutex_;
  std::map<MemBlock*, bool> blocks_;  // false once freed, so a second free is caught
};

}  // namespace tavu::hostsim
