#include "tools/module_files.h"

#include "tools/render_options.h"

namespace tavu::render {
namespace {

struct NamedEffect {
  const char* name;
  const char* file;  // the module's file name as the build wrote it
};

constexpr NamedEffect kNamedEffects[] = {
    {"blending", TAVU_MODULE_FILE_Mixara},
    {"combine-rgba", TAVU_MODULE_FILE_Chanweave},
    {"brightness-check", TAVU_MODULE_FILE_Lumaguard},
    {"color-gray", TAVU_MODULE_FILE_Tintmap},
};

}  // namespace

std::filesystem::path ModuleForEffect(const std::string& name) {
  std::string known;
  for (const NamedEffect& e : kNamedEffects) {
    if (name == e.name) return ExecutableDirectory() / e.file;
    known += (known.empty() ? "" : ", ") + std::string(e.name);
  }
  throw UsageError("unknown effect \"" + name + "\"; effects: " + known);
}

}  // namespace tavu::render
