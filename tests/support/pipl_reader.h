// Reads a plug-in property list back into its properties, written independently of the code
// that builds one: a test decodes the bytes and checks them against literal expectations.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavu::testing {

struct PiplProperty {
  std::string vendor;  // four characters as the code reads, e.g. "8BIM"
  std::string key;
  uint32_t id = 0;
  uint32_t length = 0;
  std::vector<uint8_t> data;     // `length` bytes
  std::vector<uint8_t> padding;  // what follows up to the next multiple of 4
  std::size_t offset = 0;        // where the property starts in the file
};

struct Pipl {
  uint16_t first = 0;
  uint32_t version = 0;
  uint32_t count = 0;
  std::vector<PiplProperty> properties;

  const PiplProperty& operator[](const std::string& key) const {
    for (const auto& p : properties)
      if (p.key == key) return p;
    throw std::out_of_range("no property " + key);
  }
};

// The first 30 bytes of every property list, worked out by hand: the header (1, version 0, count
// 12), then the property 'kind' = 'eFKT', each code with its first character in the highest byte.
inline const std::vector<uint8_t> kPiplHead = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00, 0x00, 0x00, 0x4D, 0x49, 0x42, 0x38, 0x64,
    0x6E, 0x69, 0x6B, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x54, 0x4B, 0x46, 0x65};

inline uint32_t LittleEndian(const std::vector<uint8_t>& b, std::size_t at, int width) {
  if (at + width > b.size()) throw std::out_of_range("property list ends early");
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = v << 8 | b[at + i];
  return v;
}

// A code stored with its first character in the highest byte reads backwards in the file.
inline std::string FourCC(const std::vector<uint8_t>& b, std::size_t at) {
  const uint32_t v = LittleEndian(b, at, 4);
  return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
          static_cast<char>(v)};
}

inline Pipl ReadPipl(const std::vector<uint8_t>& b) {
  Pipl pipl;
  pipl.first = static_cast<uint16_t>(LittleEndian(b, 0, 2));
  pipl.version = LittleEndian(b, 2, 4);
  pipl.count = LittleEndian(b, 6, 4);
  std::size_t at = 10;
  while (at < b.size()) {
    PiplProperty p;
    p.offset = at;
    p.vendor = FourCC(b, at);
    p.key = FourCC(b, at + 4);
    p.id = LittleEndian(b, at + 8, 4);
    p.length = LittleEndian(b, at + 12, 4);
    at += 16;
    const std::size_t pad = (4 - p.length % 4) % 4;
    if (at + p.length + pad > b.size()) throw std::out_of_range("property runs past the end");
    p.data.assign(b.begin() + at, b.begin() + at + p.length);
    p.padding.assign(b.begin() + at + p.length, b.begin() + at + p.length + pad);
    at += p.length + pad;
    pipl.properties.push_back(p);
  }
  return pipl;
}

// The text of a Pascal-string property: length byte, characters, zero padding.
inline std::string PascalText(const PiplProperty& p) {
  if (p.data.empty() || p.data[0] + 1u > p.data.size()) throw std::out_of_range("bad string");
  return std::string(p.data.begin() + 1, p.data.begin() + 1 + p.data[0]);
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tavu::testing
