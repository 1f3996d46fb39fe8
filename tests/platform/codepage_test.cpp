#include "platform/win32/codepage.h"

#include <gtest/gtest.h>

#include <string>

using namespace winport;

namespace {

std::string AllBytes() {
  std::string s;
  for (int b = 1; b < 256; ++b) s += static_cast<char>(b);
  return s;
}

struct AnsiUtf8Case {
  std::string ansi;
  std::string utf8;
};

class AnsiUtf8Test : public ::testing::TestWithParam<AnsiUtf8Case> {};

TEST_P(AnsiUtf8Test, ConvertsBothWays) {
  EXPECT_EQ(AnsiToUtf8(GetParam().ansi), GetParam().utf8);
  EXPECT_EQ(Utf8ToAnsi(GetParam().utf8), GetParam().ansi);
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, AnsiUtf8Test,
    ::testing::Values(AnsiUtf8Case{"abc", "abc"},
                      AnsiUtf8Case{"\x80", "\xE2\x82\xAC"},                   // euro sign
                      AnsiUtf8Case{"\xC4\xD6\xDC\xE4\xF6\xFC\xDF",            // umlauts, sharp s
                                   "\xC3\x84\xC3\x96\xC3\x9C\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F"},
                      AnsiUtf8Case{"\x8A\x9F", "\xC5\xA0\xC5\xB8"},           // S caron, Y diaeresis
                      AnsiUtf8Case{"\x81\x8D\x8F\x90\x9D",                    // undefined: C1 controls
                                   "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"}));

TEST(CodepageTest, EveryAnsiByteSurvivesUtf8AndUtf16) {
  const std::string all = AllBytes();
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
  EXPECT_EQ(Utf16ToAnsi(AnsiToUtf16(all)), all);
  EXPECT_EQ(Utf16ToUtf8(AnsiToUtf16(all)), AnsiToUtf8(all));
}

TEST(CodepageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToAnsi("a\xCE\xA9" "b"), "a?b");          // Greek omega
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80"), "?");          // outside the BMP
  EXPECT_EQ(Utf16ToAnsi(u"x\U0001F600y\u03A9"), "x?y?");   // a surrogate pair is one character
}

TEST(CodepageTest, MalformedUtf8IsTakenByteByByte) {
  EXPECT_EQ(Utf8ToAnsi("\xC3"), "\xC3");             // truncated sequence
  EXPECT_EQ(Utf8ToAnsi("\xC3(x"), "\xC3(x");         // bad continuation byte
  EXPECT_EQ(Utf8ToAnsi("\xC0\x80"), "\xC0\x80");     // overlong NUL
  EXPECT_EQ(Utf8ToAnsi("\xED\xA0\x80"), "\xED\xA0\x80");  // encoded surrogate
  EXPECT_EQ(Utf8ToUtf16("\xE4" "a"), u"\u00E4a");
}

TEST(CodepageTest, Utf8AndUtf16ConvertOutsideTheAnsiRange) {
  const std::u16string text = u"\u03A9\U0001F600";
  EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  EXPECT_EQ(Utf16ToUtf8(u"\xD800"), "\xEF\xBF\xBD");  // lone surrogate
}

TEST(OemCodepageTest, GermanLettersTakeTheirCp850Codes) {
  EXPECT_EQ(AnsiToOem("\xC4\xD6\xDC\xDF\xE4\xF6\xFC"), "\x8E\x99\x9A\xE1\x84\x94\x81");
  EXPECT_EQ(OemToAnsi("\x8E\x99\x9A\xE1\x84\x94\x81"), "\xC4\xD6\xDC\xDF\xE4\xF6\xFC");
  EXPECT_EQ(AnsiToOem("\xB0\xB2\xB5 mm"), "\xF8\xFD\xE6 mm");  // degree, squared, micro
}

TEST(OemCodepageTest, CharactersMissingOnTheOtherSideBecomeQuestionMarks) {
  EXPECT_EQ(AnsiToOem("\x80 \x84 \x81"), "? ? ?");  // euro, low quote, undefined byte
  EXPECT_EQ(AnsiToOem("\x83"), "\x9F");              // f hook exists in both
  EXPECT_EQ(OemToAnsi("\xC4\xB3\xDB"), "???");       // box drawing and block characters
}

TEST(OemCodepageTest, EveryCharacterBothPagesShareRoundTrips) {
  const std::string all = AllBytes();
  const std::string oem = AnsiToOem(all);
  int missing = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    if (oem[i] == '?' && all[i] != '?') {
      ++missing;
      continue;
    }
    EXPECT_EQ(OemToAnsi(oem.substr(i, 1)), all.substr(i, 1)) << "byte " << i + 1;
  }
  // 850 lacks all of 1252's 0x80..0x9F except the f hook.
  EXPECT_EQ(missing, 31);
}

TEST(OemCodepageTest, CharToOemWorksInPlace) {
  char text[] = "Pr\xFC" "fstand \xC4";
  ASSERT_TRUE(CharToOemA(text, text));
  EXPECT_STREQ(text, "Pr\x81" "fstand \x8E");
  char back[sizeof text];
  ASSERT_TRUE(OemToCharA(text, back));
  EXPECT_STREQ(back, "Pr\xFC" "fstand \xC4");
  EXPECT_FALSE(CharToOemA(nullptr, back));
}

}  // namespace

namespace {

TEST(CaseTest, UpperCaseCoversTheAccentedLetters) {
  EXPECT_EQ(UpperAnsi("abc \xE4\xF6\xFC \x9A\x9C\x9E\xFF \xDF\xB5\xF7 z{"),
            "ABC \xC4\xD6\xDC \x8A\x8C\x8E\x9F \xDF\xB5\xF7 Z{");
  EXPECT_TRUE(EqualsNoCase("Pr\xFC" "fstand", "PR\xDC" "FSTAND"));
  EXPECT_FALSE(EqualsNoCase("ab", "abc"));
  EXPECT_FALSE(EqualsNoCase("[", "{"));
}

}  // namespace
