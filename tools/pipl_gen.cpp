// Writes a module's plug-in property list: the raw resource bytes and the resource-compiler
// script that links them into the Windows module. Built once per effect, with that effect's
// identity header, so the bytes come from the very constants the module is compiled from.
//   usage: pipl_gen BYTES_FILE RC_FILE
#include <cstdio>
#include <exception>
#include <fstream>

#include "framework/property_list.h"
#include TAVU_IDENTITY_HEADER

namespace {

bool Write(const char* path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s BYTES_FILE RC_FILE\n", argv[0]);
    return 2;
  }
  try {
    const tavu::EffectIdentity& identity = TAVU_IDENTITY;
    const auto bytes = tavu::framework::BuildPropertyList(identity);
    const auto script = tavu::framework::PropertyListResourceScript(identity, bytes);
    if (!Write(argv[1], bytes.data(), bytes.size()) ||
        !Write(argv[2], script.data(), script.size())) {
      std::fprintf(stderr, "%s: cannot write the property list\n", argv[0]);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
