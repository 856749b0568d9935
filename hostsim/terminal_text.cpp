#include "hostsim/terminal_text.h"

#include <cstdio>

namespace tavu::hostsim {
namespace {

// Characters from U+00A0 on that a terminal does not show but acts on: they reorder the rest of
// a line, break it, or join and hide between the characters around them.
constexpr struct {
  char32_t first, last;
} kInvisible[] = {
    {0x061C, 0x061C},    // Arabic letter mark
    {0x200B, 0x200F},    // zero-width space, non-joiner, joiner; left-to-right, right-to-left marks
    {0x2028, 0x202E},    // line and paragraph separators; embeddings, pop, overrides
    {0x2060, 0x2064},    // word joiner, invisible operators
    {0x2066, 0x2069},    // isolates
    {0xFEFF, 0xFEFF},    // zero-width no-break space (byte order mark)
    {0xE0000, 0xE007F},  // tag characters
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
