// Prints a module's self-description, as a host learns it when it loads the module.
#include <cstdio>
#include <exception>

#include "hostsim/host.h"
#include "hostsim/module.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tavu-describe MODULE\n");
    return 2;
  }
  try {
    tavu::hostsim::Module module(argv[1]);
    PF_Err err = 0;
    const auto info = module.Describe(&err);
    std::printf("%s\n  display name: %s\n  match name:   %s\n  category:     %s\n"
                "  entry point:  %s\n  kind:         0x%08X\n  API version:  %d.%d\n",
                argv[1], info.displayName.c_str(), info.matchName.c_str(), info.category.c_str(),
                info.entryPoint.c_str(), static_cast<unsigned>(info.kind), info.apiMajor,
                info.apiMinor);
    return err == PF_Err_NONE ? 0 : 3;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
