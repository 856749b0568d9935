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
      // The invisible characters that steer text are escaped byte by byte...
      {"\u061C \u200B \u200F \u2028 \u2029 \u202A \u202E \u2060 \u2064 \u2066 \u2069 \uFEFF "
       "\U000E0000 \U000E007F",
       "\\xd8\\x9c \\xe2\\x80\\x8b \\xe2\\x80\\x8f \\xe2\\x80\\xa8 \\xe2\\x80\\xa9 \\xe2\\x80\\xaa "
       "\\xe2\\x80\\xae \\xe2\\x81\\xa0 \\xe2\\x81\\xa4 \\xe2\\x81\\xa6 \\xe2\\x81\\xa9 "
       "\\xef\\xbb\\xbf \\xf3\\xa0\\x80\\x80 \\xf3\\xa0\\x81\\xbf"},
      // ...as are all the others, which can hide inside a name...
      {"Blen\u206Ading", "Blen\\xe2\\x81\\xaading"},
      // ...each range of them at its first and last code point, the default-ignorable ones (the
      // soft hyphen, the variation selectors, the Hangul fillers) and the other format characters
      // (the Arabic number signs, the interlinear annotation marks, the musical beam and slur
      // controls) too...
      {"\u00AD \u034F \u0600 \u0605 \u061C \u06DD \u070F \u0890 \u0891 \u08E2 \u115F \u1160 "
       "\u17B4 \u17B5 \u180B \u180F \u200B \u200F \u2028 \u202E \u2060 \u206F \u3164 \uFE00 "
       "\uFE0F \uFEFF \uFFA0 \uFFF0 \uFFFB \U000110BD \U000110CD \U00013430 \U0001343F \U0001BCA0 "
       "\U0001BCA3 \U0001D173 \U0001D17A \U000E0000 \U000E0FFF",
       "\\xc2\\xad \\xcd\\x8f \\xd8\\x80 \\xd8\\x85 \\xd8\\x9c \\xdb\\x9d \\xdc\\x8f "
       "\\xe0\\xa2\\x90 \\xe0\\xa2\\x91 \\xe0\\xa3\\xa2 \\xe1\\x85\\x9f \\xe1\\x85\\xa0 "
       "\\xe1\\x9e\\xb4 \\xe1\\x9e\\xb5 \\xe1\\xa0\\x8b \\xe1\\xa0\\x8f \\xe2\\x80\\x8b "
       "\\xe2\\x80\\x8f \\xe2\\x80\\xa8 \\xe2\\x80\\xae \\xe2\\x81\\xa0 \\xe2\\x81\\xaf "
       "\\xe3\\x85\\xa4 \\xef\\xb8\\x80 \\xef\\xb8\\x8f \\xef\\xbb\\xbf \\xef\\xbe\\xa0 "
       "\\xef\\xbf\\xb0 \\xef\\xbf\\xbb \\xf0\\x91\\x82\\xbd \\xf0\\x91\\x83\\x8d "
       "\\xf0\\x93\\x90\\xb0 \\xf0\\x93\\x90\\xbf \\xf0\\x9b\\xb2\\xa0 \\xf0\\x9b\\xb2\\xa3 "
       "\\xf0\\x9d\\x85\\xb3 \\xf0\\x9d\\x85\\xba \\xf3\\xa0\\x80\\x80 \\xf3\\xa0\\xbf\\xbf"},
      // ...and the neighbours just outside each range, which stay.
      {"\u00AC \u00AE \u034E \u0350 \u05FF \u0606 \u061B \u061D \u06DC \u06DE \u070E \u0710 "
       "\u088F \u0892 \u08E1 \u08E3 \u115E \u1161 \u17B3 \u17B6 \u180A \u1810 \u200A \u2010 "
       "\u2027 \u202F \u205F \u2070 \u3163 \u3165 \uFDFF \uFE10 \uFEFE \uFF00 \uFF9F \uFFA1 "
       "\uFFEF \uFFFC \U000110BC \U000110BE \U000110CC \U000110CE \U0001342F \U00013440 "
       "\U0001BC9F \U0001BCA4 \U0001D172 \U0001D17B \U000DFFFF \U000E1000",
       "\xc2\xac \xc2\xae \xcd\x8e \xcd\x90 \xd7\xbf \xd8\x86 \xd8\x9b \xd8\x9d \xdb\x9c \xdb\x9e "
       "\xdc\x8e \xdc\x90 \xe0\xa2\x8f \xe0\xa2\x92 \xe0\xa3\xa1 \xe0\xa3\xa3 \xe1\x85\x9e "
       "\xe1\x85\xa1 \xe1\x9e\xb3 \xe1\x9e\xb6 \xe1\xa0\x8a \xe1\xa0\x90 \xe2\x80\x8a "
       "\xe2\x80\x90 \xe2\x80\xa7 \xe2\x80\xaf \xe2\x81\x9f \xe2\x81\xb0 \xe3\x85\xa3 "
       "\xe3\x85\xa5 \xef\xb7\xbf \xef\xb8\x90 \xef\xbb\xbe \xef\xbc\x80 \xef\xbe\x9f "
       "\xef\xbe\xa1 \xef\xbf\xaf \xef\xbf\xbc \xf0\x91\x82\xbc \xf0\x91\x82\xbe \xf0\x91\x83\x8c "
       "\xf0\x91\x83\x8e \xf0\x93\x90\xaf \xf0\x93\x91\x80 \xf0\x9b\xb2\x9f \xf0\x9b\xb2\xa4 "
       "\xf0\x9d\x85\xb2 \xf0\x9d\x85\xbb \xf3\x9f\xbf\xbf \xf3\xa1\x80\x80"},
  };
  for (const auto& c : cases) EXPECT_EQ(tavu::hostsim::TerminalText(c.text), c.shown) << c.shown;
}

}  // namespace
