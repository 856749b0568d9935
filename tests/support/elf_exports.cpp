#include "tests/support/elf_exports.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tavu::testing {

namespace {
template <typename T>
T Read(const std::vector<char>& file, uint64_t offset) {
  if (offset + sizeof(T) > file.size()) throw std::runtime_error("ELF file truncated");
  T value;
  std::memcpy(&value, file.data() + offset, sizeof(T));
  return value;
}
}  // namespace

std::vector<std::string> ElfExportedSymbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (file.size() < 64 || std::memcmp(file.data(), "\x7f" "ELF", 4) != 0 || file[4] != 2 ||
      file[5] != 1) {
    throw std::runtime_error(path + " is not a 64-bit little-endian ELF file");
  }
  const uint64_t shoff = Read<uint64_t>(file, 0x28);
  const uint16_t shentsize = Read<uint16_t>(file, 0x3A);
  const uint16_t shnum = Read<uint16_t>(file, 0x3C);

  constexpr uint32_t kShtDynsym = 11;
  std::vector<std::string> names;
  for (uint16_t i = 0; i < shnum; ++i) {
    const uint64_t sh = shoff + uint64_t{i} * shentsize;
    if (Read<uint32_t>(file, sh + 4) != kShtDynsym) continue;
    const uint64_t offset = Read<uint64_t>(file, sh + 0x18);
    const uint64_t size = Read<uint64_t>(file, sh + 0x20);
    const uint32_t link = Read<uint32_t>(file, sh + 0x28);
    const uint64_t entsize = Read<uint64_t>(file, sh + 0x38);
    const uint64_t strsh = shoff + uint64_t{link} * shentsize;
    const uint64_t stroff = Read<uint64_t>(file, strsh + 0x18);
    for (uint64_t s = offset; s + entsize <= offset + size; s += entsize) {
      const uint32_t name = Read<uint32_t>(file, s);
      const uint8_t info = Read<uint8_t>(file, s + 4);
      const uint16_t shndx = Read<uint16_t>(file, s + 6);
      const uint8_t bind = info >> 4;
      constexpr uint8_t kGlobal = 1, kWeak = 2, kUniqueGnu = 10;
      if (shndx == 0 || (bind != kGlobal && bind != kWeak && bind != kUniqueGnu)) continue;
      const uint64_t at = stroff + name;
      if (at >= file.size()) throw std::runtime_error("ELF string table out of range");
      names.emplace_back(file.data() + at);
    }
  }
  return names;
}

}  // namespace tavu::testing
