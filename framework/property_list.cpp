#include "framework/property_list.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "framework/capabilities.h"
#include "framework/identity.h"

namespace tavu::framework {
namespace {

// Four-character codes of the property list hold the first character in the highest byte; being
// stored little-endian, they read backwards in the file ('kind' is "dnik").
constexpr uint32_t Key(const char (&code)[5]) {
  return static_cast<uint32_t>(static_cast<uint8_t>(code[0])) << 24 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[1])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[2])) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(code[3]));
}

constexpr uint32_t kVendor = Key("8BIM");
constexpr uint32_t kPropertyCount = 12;
// The version of the property-list layout itself, not of the effect.
constexpr uint16_t kPropertyListMajor = 2;
constexpr uint16_t kPropertyListMinor = 0;

class Writer {
 public:
  void U16(uint16_t v) {
    bytes_.push_back(static_cast<uint8_t>(v));
    bytes_.push_back(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void Bytes(const void* data, std::size_t n) {
    const auto* p = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), p, p + n);
  }
  // One property: its data goes through `fill`, then zero bytes up to a multiple of 4. The
  // length field counts that padding, except after a 16-bit integer (`padIsCounted` false).
  template <typename Fill>
  void Property(const char (&key)[5], Fill fill, bool padIsCounted = true) {
    U32(kVendor);
    U32(Key(key));
    U32(0);  // id
    const std::size_t lengthAt = bytes_.size();
    U32(0);  // length, patched below
    const std::size_t dataAt = bytes_.size();
    fill(*this);
    const std::size_t unpadded = bytes_.size() - dataAt;
    while ((bytes_.size() - dataAt) % 4 != 0) bytes_.push_back(0);
    const std::size_t length = padIsCounted ? bytes_.size() - dataAt : unpadded;
    for (int i = 0; i < 4; ++i) bytes_[lengthAt + i] = static_cast<uint8_t>(length >> (8 * i));
  }

  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

void PascalString(Writer& w, const char* text) {
  const std::size_t n = std::strlen(text);
  if (n > 255) throw std::length_error("a property-list string holds at most 255 characters");
  const uint8_t length = static_cast<uint8_t>(n);
  w.Bytes(&length, 1);
  w.Bytes(text, n);
}

void CString(Writer& w, const char* text) { w.Bytes(text, std::strlen(text) + 1); }

}  // namespace

std::vector<uint8_t> BuildPropertyList(const EffectIdentity& identity) {
  // The property list describes the module to After Effects, so it carries the After Effects
  // flag words, exactly as global set-up writes them there.
  const OutFlagWords flags = DeclaredFlags(HostApp::AfterEffects, identity.extraOutFlags2);
  Writer w;
  w.U16(1);
  w.U32(0);  // list version
  w.U32(kPropertyCount);
  w.Property("kind", [](Writer& p) { p.U32(static_cast<uint32_t>(PF_PLUGIN_KIND_EFFECT)); });
  w.Property("name", [&](Writer& p) { PascalString(p, identity.displayName); });
  w.Property("catg", [](Writer& p) { PascalString(p, kCategoryName); });
  w.Property("8664", [](Writer& p) { CString(p, kEntryPointName); });
  w.Property("ePVR", [](Writer& p) {
    p.U16(kPropertyListMajor);
    p.U16(kPropertyListMinor);
  });
  w.Property("eSVR", [](Writer& p) {
    p.U16(static_cast<uint16_t>(kEffectApiMajor));
    p.U16(static_cast<uint16_t>(kEffectApiMinor));
  });
  w.Property("eVER", [](Writer& p) { p.U32(kVersionWord); });
  // A 16-bit value whose two padding bytes the length leaves out.
  w.Property("eINF", [](Writer& p) { p.U16(0); }, false);
  w.Property("eGLO", [&](Writer& p) { p.U32(static_cast<uint32_t>(flags.outFlags)); });
  w.Property("eGL2", [&](Writer& p) { p.U32(static_cast<uint32_t>(flags.outFlags2)); });
  w.Property("eMNA", [&](Writer& p) { PascalString(p, identity.matchName); });
  w.Property("aeFL", [](Writer& p) { p.U32(static_cast<uint32_t>(kReservedInfo)); });
  return w.Take();
}

std::string PropertyListResourceScript(const EffectIdentity& identity,
                                       const std::vector<uint8_t>& bytes) {
  if (bytes.size() % 2 != 0) throw std::invalid_argument("a property list has an even length");
  std::string rc;
  rc += "// Plug-in property list of ";
  rc += identity.displayName;
  rc += ", generated from the effect's identity; do not edit.\n";
  // LANG_ENGLISH, SUBLANG_ENGLISH_US, spelled as numbers so that no header is needed.
  char line[96];
  std::snprintf(line, sizeof line, "LANGUAGE 0x%02X, 0x%02X\n", kPropertyListLanguage & 0x3FF,
                kPropertyListLanguage >> 10);
  rc += line;
  std::snprintf(line, sizeof line, "%d PIPL\nBEGIN\n", kPropertyListResourceId);
  rc += line;
  for (std::size_t i = 0; i < bytes.size(); i += 2) {
    const unsigned word = bytes[i] | static_cast<unsigned>(bytes[i + 1]) << 8;
    const bool last = i + 2 == bytes.size();
    std::snprintf(line, sizeof line, "%s0x%04X%s", i % 16 == 0 ? "  " : "", word,
                  last ? "\n" : (i % 16 == 14 ? ",\n" : ", "));
    rc += line;
  }
  rc += "END\n";
  return rc;
}

}  // namespace tavu::framework
