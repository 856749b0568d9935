#include "hostsim/module.h"

#include <stdexcept>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tavu::hostsim {

namespace {
#if defined(_WIN32)
void* Open(const std::string& path, std::string* error) {
  HMODULE h = LoadLibraryA(path.c_str());
  if (!h) *error = "LoadLibrary failed with code " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(h);
}
void* Symbol(void* h, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(h), name));
}
void Close(void* h) { FreeLibrary(static_cast<HMODULE>(h)); }
#else
void* Open(const std::string& path, std::string* error) {
  // RTLD_LOCAL: modules loaded side by side must not see each other's symbols.
  void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!h) *error = dlerror();
  return h;
}
void* Symbol(void* h, const char* name) { return dlsym(h, name); }
void Close(void* h) { dlclose(h); }
#endif

PF_Err Record(PF_PluginDataPtr ptr, const A_u_char* name, const A_u_char* match,
              const A_u_char* category, const A_u_char* entry, A_long kind, A_long major,
              A_long minor, A_long reserved) {
  auto* info = static_cast<PluginInfo*>(ptr);
  ++info->calls;
  info->displayName = reinterpret_cast<const char*>(name);
  info->matchName = reinterpret_cast<const char*>(match);
  info->category = reinterpret_cast<const char*>(category);
  info->entryPoint = reinterpret_cast<const char*>(entry);
  info->kind = kind;
  info->apiMajor = major;
  info->apiMinor = minor;
  info->reserved = reserved;
  return PF_Err_NONE;
}
}  // namespace

Module::Module(const std::string& path) : path_(path) {
  std::string error;
  handle_ = Open(path, &error);
  if (!handle_) throw std::runtime_error("cannot load module " + path + ": " + error);
  effect_main_ = reinterpret_cast<PF_EffectMainFunc>(Symbol(handle_, "EffectMain"));
  data_entry_ = reinterpret_cast<PF_PluginDataEntryFunc>(Symbol(handle_, "PluginDataEntryFunction"));
  if (!effect_main_ || !data_entry_) {
    Close(handle_);
    handle_ = nullptr;
    throw std::runtime_error("module " + path + " lacks EffectMain or PluginDataEntryFunction");
  }
}

Module::~Module() {
  if (handle_) Close(handle_);
}

PluginInfo Module::Describe(PF_Err* result) const {
  PluginInfo info;
  const PF_Err err = data_entry_(&info, Record);
  if (result) *result = err;
  return info;
}

}  // namespace tavu::hostsim
