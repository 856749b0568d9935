// Text that came from a module or a file, made safe to print: such text could otherwise hold line
// breaks, terminal escape sequences that recolour or move the user's terminal, and invisible
// characters that reorder a line or make two different names look the same.
#pragma once

#include <string>
#include <string_view>

namespace tavu::hostsim {

// `text` on one line with nothing a terminal acts on: printable ASCII and well-formed UTF-8 from
// U+00A0 on stay as they are; a backslash becomes "\\", a line feed, carriage return or tab
// "\n", "\r" or "\t", and every other byte "\xHH": other control characters, DEL, the C1
// controls in either form, bytes that are no UTF-8, and each byte of the invisible characters
// that steer text (the bidirectional marks, embeddings, overrides and isolates U+061C, U+200E,
// U+200F, U+202A..U+202E and U+2066..U+2069, the zero-width characters and joiners U+200B..U+200D
// and U+2060..U+2064, U+FEFF, the tag characters U+E0000..U+E007F) and of the line and paragraph
// separators U+2028 and U+2029, so U+202E shows as "\xe2\x80\xae".
std::string TerminalText(std::string_view text);

}  // namespace tavu::hostsim
