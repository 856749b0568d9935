// The running executable's directory: the one piece of tavu-render that asks the operating
// system directly, kept here so a port touches this file only.
#include <stdexcept>

#include "tools/module_files.h"

#if defined(_WIN32)
#include <windows.h>

#include <vector>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>

#include <vector>
#endif

namespace tavu::render {

std::filesystem::path ExecutableDirectory() {
#if defined(_WIN32)
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) throw std::runtime_error("cannot find the executable's own path");
    if (n < buffer.size())
      return std::filesystem::path(std::wstring(buffer.data(), n)).parent_path();
    buffer.resize(buffer.size() * 2);  // truncated: try again with room to spare
  }
#elif defined(__APPLE__)
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buffer(size);
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) {
    throw std::runtime_error("cannot find the executable's own path");
  }
  return std::filesystem::canonical(buffer.data()).parent_path();
#else
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) throw std::runtime_error("cannot find the executable's own path: " + error.message());
  return self.parent_path();
#endif
}

}  // namespace tavu::render
