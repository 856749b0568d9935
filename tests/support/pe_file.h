// Reads a Windows x64 image (a DLL such as a .aex module) as plain bytes, without the Windows
// loader: its header facts, the names it exports, the DLLs it imports and its resources. Written
// from the file format alone, so a test can check what a built module carries independently of
// how it was linked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavu::testing {

struct PeResource {
  // A named type or name as its text ("PIPL"); a numbered one as "#<number>" ("#16000"), the
  // way Windows writes an integer resource name.
  std::string type;
  std::string name;
  uint32_t language = 0;
  std::vector<uint8_t> data;
};

class PeFile {
 public:
  // Throws std::runtime_error when the file cannot be read or is not a PE32+ image, and
  // std::out_of_range when a table points outside the file.
  explicit PeFile(const std::string& path);

  uint16_t machine() const { return machine_; }  // 0x8664 for x86-64
  bool is_dll() const { return (characteristics_ & 0x2000) != 0; }

  // Names in the export table, in the table's (sorted) order.
  std::vector<std::string> ExportedNames() const;
  // Names of the DLLs in the import table, in file order.
  std::vector<std::string> ImportedDlls() const;
  // Every leaf of the resource tree (type, name, language), in directory order.
  std::vector<PeResource> Resources() const;

 private:
  struct Section {
    uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
  };
  struct Directory {
    uint32_t rva = 0, size = 0;
  };
  std::size_t Offset(uint32_t rva) const;  // file offset of a relative virtual address
  uint32_t U32(std::size_t at) const;
  uint16_t U16(std::size_t at) const;
  std::string CString(std::size_t at) const;
  std::string ResourceLabel(uint32_t entryName) const;

  std::vector<uint8_t> bytes_;
  uint16_t machine_ = 0;
  uint16_t characteristics_ = 0;
  std::vector<Section> sections_;
  Directory exports_, imports_, resources_;
};

}  // namespace tavu::testing
