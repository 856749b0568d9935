#include "hostsim/terminal_text.h"

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
      // The invisible characters that steer text, at the ends of their ranges, byte by byte...
      {"\u061C \u200B \u200F \u2028 \u2029 \u202A \u202E \u2060 \u2064 \u2066 \u2069 \uFEFF "
       "\U000E0000 \U000E007F",
       "\\xd8\\x9c \\xe2\\x80\\x8b \\xe2\\x80\\x8f \\xe2\\x80\\xa8 \\xe2\\x80\\xa9 \\xe2\\x80\\xaa "
       "\\xe2\\x80\\xae \\xe2\\x81\\xa0 \\xe2\\x81\\xa4 \\xe2\\x81\\xa6 \\xe2\\x81\\xa9 "
       "\\xef\\xbb\\xbf \\xf3\\xa0\\x80\\x80 \\xf3\\xa0\\x81\\xbf"},
      // ...and their neighbours, which stay.
      {"\u061B \u061D \u200A \u2010 \u2027 \u202F \u205F \u2065 \u206A \uFEFE \uFF00 \U000DFFFF "
       "\U000E0080",
       "\xd8\x9b \xd8\x9d \xe2\x80\x8a \xe2\x80\x90 \xe2\x80\xa7 \xe2\x80\xaf \xe2\x81\x9f "
       "\xe2\x81\xa5 \xe2\x81\xaa \xef\xbb\xbe \xef\xbc\x80 \xf3\x9f\xbf\xbf \xf3\xa0\x82\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(tavu::hostsim::TerminalText(c.text), c.shown) << c.shown;
}

}  // namespace
