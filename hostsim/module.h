// Loads a module file the way a host does and resolves its two exports.
#pragma once

#include <string>

#include "platform/pf_effect.h"

namespace tavu::hostsim {

// What a module says about itself through PluginDataEntryFunction.
struct PluginInfo {
  int calls = 0;
  std::string displayName;
  std::string matchName;
  std::string category;
  std::string entryPoint;
  A_long kind = 0;
  A_long apiMajor = 0;
  A_long apiMinor = 0;
  A_long reserved = 0;
  // The first name the registration callback refused, as "a null match name"; empty when it
  // refused none. A refused call returns PF_Err_BAD_CALLBACK_PARAM and records nothing.
  std::string refused;
};

class Module {
 public:
  // Throws std::runtime_error saying what is wrong when the file cannot be loaded or lacks an
  // export; the loader's own message is escaped as TerminalText escapes it. On POSIX the file is
  // checked before the loader sees it: a regular file and, where modules are ELF files, a shared
  // object of this process's class and machine whose program headers are counted in its header,
  // whose loadable segments all lie within the file, each taking no more of the file than its
  // memory size (not 0), and whose dynamic segment lies in the memory of a loadable segment. These
  // checks tell a damaged or cut-short copy; beyond them the file is trusted, as code is.
  explicit Module(const std::string& path);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                    PF_LayerDef* output, void* extra) const {
    return effect_main_(cmd, in_data, out_data, params, output, extra);
  }
  PF_Err PluginDataEntry(PF_PluginDataPtr ptr, PF_PluginDataCB cb) const {
    return data_entry_(ptr, cb);
  }
  // Calls PluginDataEntryFunction with a recording callback.
  PluginInfo Describe(PF_Err* result = nullptr) const;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  void* handle_ = nullptr;
  PF_EffectMainFunc effect_main_ = nullptr;
  PF_PluginDataEntryFunc data_entry_ = nullptr;
};

}  // namespace tavu::hostsim
