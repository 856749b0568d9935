#include "tests/support/pe_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tavu::testing {

namespace {
// Where the tables this reader needs sit in the data-directory array of the optional header.
constexpr int kExportDirectory = 0, kImportDirectory = 1, kResourceDirectory = 2;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// In a resource directory entry the high bit marks a named entry, or a subdirectory.
constexpr uint32_t kHighBit = 0x80000000u;
}  // namespace

PeFile::PeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (bytes_.size() < 0x40 || bytes_[0] != 'M' || bytes_[1] != 'Z') {
    throw std::runtime_error(path + " has no MZ header");
  }
  const std::size_t pe = U32(0x3C);
  if (U32(pe) != 0x00004550) throw std::runtime_error(path + " has no PE signature");
  machine_ = U16(pe + 4);
  const uint16_t sectionCount = U16(pe + 6);
  const uint16_t optionalSize = U16(pe + 20);
  characteristics_ = U16(pe + 22);
  const std::size_t optional = pe + 24;
  if (U16(optional) != kPe32PlusMagic) throw std::runtime_error(path + " is not a PE32+ image");
  const uint32_t directoryCount = U32(optional + 108);
  const auto directory = [&](int index) {
    Directory d;
    if (static_cast<uint32_t>(index) < directoryCount) {
      d.rva = U32(optional + 112 + 8 * index);
      d.size = U32(optional + 116 + 8 * index);
    }
    return d;
  };
  exports_ = directory(kExportDirectory);
  imports_ = directory(kImportDirectory);
  resources_ = directory(kResourceDirectory);
  for (std::size_t s = optional + optionalSize, i = 0; i < sectionCount; ++i, s += 40) {
    sections_.push_back({U32(s + 12), U32(s + 8), U32(s + 20), U32(s + 16)});
  }
}

uint32_t PeFile::U32(std::size_t at) const {
  if (at + 4 > bytes_.size()) throw std::out_of_range("PE file ends early");
  return uint32_t{bytes_[at]} | uint32_t{bytes_[at + 1]} << 8 | uint32_t{bytes_[at + 2]} << 16 |
         uint32_t{bytes_[at + 3]} << 24;
}

uint16_t PeFile::U16(std::size_t at) const {
  if (at + 2 > bytes_.size()) throw std::out_of_range("PE file ends early");
  return static_cast<uint16_t>(bytes_[at] | bytes_[at + 1] << 8);
}

std::size_t PeFile::Offset(uint32_t rva) const {
  for (const Section& s : sections_) {
    const uint32_t span = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < span) {
      // Past the raw data lies the zero-filled tail that exists only in memory.
      if (rva - s.virtualAddress >= s.rawSize) break;
      return std::size_t{s.rawOffset} + (rva - s.virtualAddress);
    }
  }
  throw std::out_of_range("address " + std::to_string(rva) + " lies in no section's data");
}

std::string PeFile::CString(std::size_t at) const {
  std::string s;
  for (;; ++at) {
    if (at >= bytes_.size()) throw std::out_of_range("unterminated name");
    if (bytes_[at] == 0) return s;
    s.push_back(static_cast<char>(bytes_[at]));
  }
}

std::vector<std::string> PeFile::ExportedNames() const {
  std::vector<std::string> names;
  if (exports_.rva == 0) return names;
  const std::size_t table = Offset(exports_.rva);
  const uint32_t count = U32(table + 24);
  const std::size_t namePointers = Offset(U32(table + 32));
  for (uint32_t i = 0; i < count; ++i) names.push_back(CString(Offset(U32(namePointers + 4 * i))));
  return names;
}

std::vector<std::string> PeFile::ImportedDlls() const {
  std::vector<std::string> dlls;
  if (imports_.rva == 0) return dlls;
  // Descriptors of 20 bytes each, closed by one that is all zero.
  for (std::size_t d = Offset(imports_.rva);; d += 20) {
    const uint32_t lookup = U32(d), name = U32(d + 12), thunks = U32(d + 16);
    if (lookup == 0 && name == 0 && thunks == 0) return dlls;
    dlls.push_back(CString(Offset(name)));
  }
}

std::string PeFile::ResourceLabel(uint32_t entryName) const {
  if (!(entryName & kHighBit)) return "#" + std::to_string(entryName);
  const std::size_t at = Offset(resources_.rva) + (entryName & ~kHighBit);
  const uint16_t length = U16(at);
  std::string label;
  for (uint16_t i = 0; i < length; ++i) {
    const uint16_t c = U16(at + 2 + 2 * std::size_t{i});
    label.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  }
  return label;
}

std::vector<PeResource> PeFile::Resources() const {
  std::vector<PeResource> found;
  if (resources_.rva == 0) return found;
  const std::size_t base = Offset(resources_.rva);
  // The entries of the directory at `offset`: (name field, offset field) pairs.
  const auto entries = [&](uint32_t offset) {
    const std::size_t dir = base + offset;
    const std::size_t count = std::size_t{U16(dir + 12)} + U16(dir + 14);
    std::vector<std::pair<uint32_t, uint32_t>> list;
    for (std::size_t i = 0; i < count; ++i)
      list.emplace_back(U32(dir + 16 + 8 * i), U32(dir + 20 + 8 * i));
    return list;
  };
  // Three levels: type, name, language; only the last points at data.
  for (const auto& [type, names] : entries(0)) {
    if (!(names & kHighBit)) throw std::runtime_error("resource type without a directory");
    for (const auto& [name, languages] : entries(names & ~kHighBit)) {
      if (!(languages & kHighBit)) throw std::runtime_error("resource name without a directory");
      for (const auto& [language, leaf] : entries(languages & ~kHighBit)) {
        if ((leaf & kHighBit) || (language & kHighBit)) {
          throw std::runtime_error("resource language entry is not a data leaf");
        }
        const std::size_t entry = base + leaf;
        const std::size_t data = Offset(U32(entry));
        const uint32_t size = U32(entry + 4);
        if (data + size > bytes_.size()) throw std::out_of_range("resource data runs past the end");
        found.push_back({ResourceLabel(type),
                         ResourceLabel(name),
                         language,
                         {bytes_.begin() + data, bytes_.begin() + data + size}});
      }
    }
  }
  return found;
}

}  // namespace tavu::testing
