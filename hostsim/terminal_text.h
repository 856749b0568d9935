// Text that came from a module or a file, made safe to print: such text could otherwise hold line
// breaks, terminal escape sequences that recolour or move the user's terminal, and invisible
// characters that reorder a line or make two different names look the same.
#pragma once

#include <string>
#include <string_view>

namespace tavu::hostsim {

// `text` on one line with nothing a terminal acts on: printable ASCII and well-formed UTF-8 from
// U+00A0 on stay as they are; a backslash becomes "\\", a line feed, carriage return or tab "\n",
// "\r" or "\t", and every other byte "\xHH": other control characters, DEL, the C1 controls in
// either form, bytes that are no UTF-8, and each byte of the invisible characters that steer, break
// or hide text, which are every code point Unicode 15.0.0 lists as Default_Ignorable_Code_Point or
// of general category Cf (format: the bidirectional controls, the zero-width characters and
// joiners, U+FEFF, the tag characters), Zl or Zp (the line and paragraph separators U+2028 and
// U+2029), so U+202E shows as "\xe2\x80\xae".
std::string TerminalText(std::string_view text);

}  // namespace tavu::hostsim
