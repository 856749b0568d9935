// Text that came from a module or a file, made safe to print: such text could otherwise hold line
// breaks and terminal escape sequences that recolour or move the user's terminal.
#pragma once

#include <string>
#include <string_view>

namespace tavu::render {

// `text` on one line with nothing a terminal acts on: printable ASCII and well-formed UTF-8 from
// U+00A0 on stay as they are; a backslash becomes "\\", a line feed, carriage return or tab
// "\n", "\r" or "\t", and every other byte (other control characters, DEL, the C1 controls in
// either form, bytes that are no UTF-8) "\xHH".
std::string TerminalText(std::string_view text);

}  // namespace tavu::render
