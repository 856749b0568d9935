#include "tools/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TerminalText, KeepsTextAndEscapesWhatATerminalActsOn) {
  const struct {
    std::string text, shown;
  } cases[] = {
      {"Blending Mode", "Blending Mode"},
      {"a\\b\tc\r\nd", "a\\\\b\\tc\\r\\nd"},
      {std::string("\x1b[2J\x00\x7f", 6), "\\x1b[2J\\x00\\x7f"},
      // UTF-8 text stays; the C1 controls stay escaped in it, as does what is no UTF-8: a lone
      // byte, a cut sequence, an overlong form, a surrogate, a code beyond U+10FFFF.
      {"Kontrast \xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa8 \xc2\xa0",
       "Kontrast \xc3\xa9 \xe2\x82\xac \xf0\x9f\x8e\xa8 \xc2\xa0"},
      {"\xc2\x9b" "31m \x9b" "31m", "\\xc2\\x9b31m \\x9b31m"},
      {"\xe2\x82 \xc1\x81 \xed\xa0\x80 \xf4\x90\x80\x80",
       "\\xe2\\x82 \\xc1\\x81 \\xed\\xa0\\x80 \\xf4\\x90\\x80\\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(tavu::render::TerminalText(c.text), c.shown) << c.shown;
}

}  // namespace
