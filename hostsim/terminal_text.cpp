#include "hostsim/terminal_text.h"

#include <cstdio>

namespace tavu::hostsim {
namespace {

// Characters from U+00A0 on that a terminal may not show but acts on: they reorder the rest of a
// line, break it, or join and hide between the characters around them. These are taken by a
// rule, not picked by hand, so that none is left out: every code point that Unicode 15.0.0 lists
// as Default_Ignorable_Code_Point or of general category Cf, Zl or Zp, the unassigned ones the
// property reserves included. scripts/invisible_table.py prints the table from Unicode's data.
constexpr struct {
  char32_t first, last;
} kInvisible[] = {
    {0x00AD, 0x00AD}, {0x034F, 0x034F}, {0x0600, 0x0605}, {0x061C, 0x061C},
    {0x06DD, 0x06DD}, {0x070F, 0x070F}, {0x0890, 0x0891}, {0x08E2, 0x08E2},
    {0x115F, 0x1160}, {0x17B4, 0x17B5}, {0x180B, 0x180F}, {0x200B, 0x200F},
    {0x2028, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164}, {0xFE00, 0xFE0F},
    {0xFEFF, 0xFEFF}, {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFFB}, {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
    {0xE0000, 0xE0FFF},
};

// The length of the UTF-8 sequence at text[i] when it is well formed and encodes a character
// from U+00A0 on that is not in kInvisible, else 0. The C1 controls U+0080..U+009F are controls
// in UTF-8 too.
std::size_t PrintableSequence(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || length > text.size() - i) return 0;
  char32_t code = lead & (0x7F >> length);
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  // The shortest form only, and no surrogate or code beyond U+10FFFF.
  constexpr char32_t kLeast[] = {0, 0, 0xA0, 0x800, 0x10000};
  if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return 0;
  for (const auto& range : kInvisible) {
    if (code >= range.first && code <= range.last) return 0;
  }
  return length;
}

}  // namespace

std::string TerminalText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else if (const std::size_t length = PrintableSequence(text, i); length > 0) {
      out.append(text.substr(i, length));
      i += length;
      continue;
    } else {
      char escape[5];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
    }
    ++i;
  }
  return out;
}

}  // namespace tavu::hostsim
