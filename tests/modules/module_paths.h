// Paths of the modules built beside the tests, and what each must say about itself.
#pragma once

#include <string>
#include <vector>

namespace tavu::testing {

struct BuiltModule {
  std::string path;
  std::string displayName;
  std::string matchName;
  bool macosArithmetic;
};

inline std::vector<BuiltModule> BuiltModules() {
  std::vector<BuiltModule> modules = {
      {TAVU_MODULE_Mixara, "tavu-Blending", "ZELQ Blending", false},
      {TAVU_MODULE_Chanweave, "tavu-Combine RGBA", "ZELQ CombineRGBA", false},
      {TAVU_MODULE_Lumaguard, "tavu-Brightness Check", "ZELQ BrightnessCheck", false},
      {TAVU_MODULE_Tintmap, "tavu-Color Gray", "ZELQ ColorGray", false},
  };
#ifdef TAVU_MODULE_Mixara_macos
  modules.push_back({TAVU_MODULE_Mixara_macos, "tavu-Blending", "ZELQ Blending", true});
  modules.push_back({TAVU_MODULE_Chanweave_macos, "tavu-Combine RGBA", "ZELQ CombineRGBA", true});
  modules.push_back(
      {TAVU_MODULE_Lumaguard_macos, "tavu-Brightness Check", "ZELQ BrightnessCheck", true});
  modules.push_back({TAVU_MODULE_Tintmap_macos, "tavu-Color Gray", "ZELQ ColorGray", true});
#endif
  return modules;
}

}  // namespace tavu::testing
