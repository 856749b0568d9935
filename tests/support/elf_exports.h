// Reads the dynamic symbol table of an ELF shared object: the names it exports.
#pragma once

#include <string>
#include <vector>

namespace tavu::testing {

// Defined global and weak symbols of the file's dynamic symbol table. Throws std::runtime_error
// when the file is not a 64-bit little-endian ELF object.
std::vector<std::string> ElfExportedSymbols(const std::string& path);

}  // namespace tavu::testing
