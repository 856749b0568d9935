// The About text: name, version, and the effect's description with its credit line.
#include "framework/capabilities.h"
#include "framework/effect_interface.h"
#include "framework/handlers.h"
#include "framework/identity.h"
#include "host/suite_handler.h"

namespace tavu::framework {

PF_Err About(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  // Premiere Pro shows no About box for effects; nothing is written there.
  if (HostOf(in_data) == HostApp::Premiere) return PF_Err_NONE;
  AEGP_SuiteHandler suites(in_data->pica_basicP);
  // The host separates lines by a carriage return only.
  suites.ANSICallbacksSuite1()->sprintf(out_data->return_msg, "%s, v%d.%d\r%s",
                                        effect::kIdentity.displayName,
                                        static_cast<int>(kMajorVersion),
                                        static_cast<int>(kMinorVersion),
                                        effect::kIdentity.description);
  return PF_Err_NONE;
}

}  // namespace tavu::framework
