// The effects tavu-render knows by name, and where their modules lie: beside the executable,
// under the file names the build gave them (Mixara.so here, Mixara64.aex in the Windows build).
#pragma once

#include <filesystem>
#include <string>

namespace tavu::render {

// The module file for --effect NAME beside the running executable. An unknown name throws
// UsageError naming the known ones; whether the file exists is the loader's to find out.
std::filesystem::path ModuleForEffect(const std::string& name);

// The directory of the running executable (not of argv[0], which a shell may have found on
// PATH). Throws std::runtime_error when the system cannot tell.
std::filesystem::path ExecutableDirectory();

}  // namespace tavu::render
