#include "importcore/support.h"

#include <gtest/gtest.h>

#include "platform/ui/headless.h"
#include "platform/ui/window.h"
#include "tests/support/host_variables.h"
#include "tests/support/temp_dir.h"

namespace importcore {
namespace {

TEST(MakeIdentifier, TurnsNamesIntoHostIdentifiers) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"Motor Drehzahl [1/min]  ", "Motor_Drehzahl__1_min_"},  // blanks trimmed first
      {"\xD6ltemp", "\xD6ltemp"},                              // Windows-1252 umlaut starts a name
      {"\x99ltemp", "\x99ltemp"},                              // code page 850 umlaut too
      {"T\xE4gl\xE1\xB0\xB2\xB3\xB5", "T\xE4gl\xE1\xB0\xB2\xB3\xB5"},
      {"\x8E\x84\x94\x81\x9A\xC4\xDC\xFC\xF6\xDF", "\x8E\x84\x94\x81\x9A\xC4\xDC\xFC\xF6\xDF"},
      {"a\xE9\xA7\x80z", "a___z"},  // accented letters outside the set, section and euro signs
      {"2nd", "S2nd"},
      {"1abc", "S1abc"},
      {"_x", "S_x"},
      {"@grp", "S@grp"},
      {"$sys", "$sys"},
      {"", "S"},
      {"   ", "S_"},  // trimming keeps the first character
      {"a-b.c", "a_b_c"},
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    MakeIdentifier(text);
    EXPECT_EQ(text, c.out) << "from '" << c.in << "'";
  }
}

TEST(IsUmlaut, MatchesExactlyTheEighteenBytes) {
  const std::string set = "\x8E\x99\x9A\xE1\x84\x94\x81\xC4\xD6\xDC\xE4\xF6\xFC\xDF\xB0\xB2\xB3\xB5";
  int count = 0;
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    const bool expected = set.find(c) != std::string::npos;
    EXPECT_EQ(IsUmlaut(c), expected) << "byte " << b;
    count += IsUmlaut(c);
  }
  EXPECT_EQ(count, 18);
}

TEST(WrapLines, BreaksAtTheLastSeparatorOfAFullLine) {
  const struct {
    std::string in;
    int width;
    std::string out;
  } cases[] = {
      {"alpha beta gamma", 10, "alpha\\nbeta gamma"},
      {"abcdefghijklmno", 10, "abcdefghij\\nklmno"},
      {"abcdefghij", 10, "abcdefghij"},  // exactly one line: no break
      {"a,b;c d", 3, "a\\nb\\nc d"},    // ',' and ';' are separators too
      {"one;two,three", 5, "one\\ntwo\\nthree"},
      {" abcdefgh", 4, " abc\\ndefg\\nh"},  // a separator in the first place is not examined
      {"abc def", 0, "abc def"},            // no width: unchanged
      {"abc def", -3, "abc def"},
      {"", 5, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(WrapLines(c.in, c.width), c.out) << "'" << c.in << "' at " << c.width;
}

TEST(WrapLines, GrowsPastTheOldBufferSize) {
  std::string text;
  for (int i = 0; i < 100; ++i) text += "word ";
  const std::string out = WrapLines(text, 8);
  EXPECT_GT(out.size(), 400u);
  // Every "word" survives; the separators that broke lines became backslash-n.
  size_t words = 0;
  for (size_t at = out.find("word"); at != std::string::npos; at = out.find("word", at + 1)) ++words;
  EXPECT_EQ(words, 100u);
}

TEST(EqualPrefix, ComparesAtMostNCharacters) {
  const struct {
    const char* a;
    const char* b;
    size_t n;
    bool equal;
  } cases[] = {
      {nullptr, nullptr, 5, true}, {nullptr, "a", 5, false}, {"a", nullptr, 5, false},
      {"abc", "abd", 2, true},     {"abc", "abd", 3, false}, {"ab", "abc", 5, false},
      {"abc", "abc", 5, true},     {"abc", "ABC", 3, false}, {"", "", 0, true},
      {"x", "y", 0, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(EqualPrefix(c.a, c.b, c.n), c.equal)
        << (c.a ? c.a : "null") << " / " << (c.b ? c.b : "null") << " / " << c.n;
}

TEST(EqualNoCase, NullNeverEqualsAndCaseFollowsWindows1252) {
  EXPECT_FALSE(EqualNoCase(nullptr, nullptr));
  EXPECT_FALSE(EqualNoCase("a", nullptr));
  EXPECT_TRUE(EqualNoCase("MDF     ", "mdf     "));
  EXPECT_TRUE(EqualNoCase("\xD6L", "\xF6l"));  // Öl / öl
  EXPECT_FALSE(EqualNoCase("abc", "abcd"));
}

TEST(TrimRight, CutsBlanksButNeverTheFirstCharacter) {
  const struct {
    std::string in, out;
  } cases[] = {{"   ", " "}, {"ab  ", "ab"}, {"ab\t ", "ab\t"}, {"", ""}, {" a", " a"}};
  for (const auto& c : cases) {
    std::string text = c.in;
    TrimRight(text);
    EXPECT_EQ(text, c.out);
  }
}

TEST(CopyTextN, KeepsAtMostMaxMinusOneCharacters) {
  EXPECT_EQ(CopyTextN("abcdef", 4), "abc");
  EXPECT_EQ(CopyTextN("ab", 4), "ab");
  EXPECT_EQ(CopyTextN("ab", 0), "");
}

TEST(ParseNumbers, ReadAsAtoiAndAtof) {
  EXPECT_EQ(ParseInt("  42abc"), 42);
  EXPECT_EQ(ParseInt("-7"), -7);
  EXPECT_EQ(ParseInt("x1"), 0);
  EXPECT_EQ(ParseInt("99999999999"), 2147483647);
  EXPECT_EQ(ParseInt("-99999999999"), -2147483647 - 1);
  EXPECT_DOUBLE_EQ(ParseDouble(" 7.5x"), 7.5);
  EXPECT_DOUBLE_EQ(ParseDouble("+2.05"), 2.05);
  EXPECT_DOUBLE_EQ(ParseDouble("-1e3"), -1000.0);
  EXPECT_DOUBLE_EQ(ParseDouble("7,5"), 7.0);  // the C locale: a comma ends the number
  EXPECT_DOUBLE_EQ(ParseDouble("--1"), 0.0);
  EXPECT_DOUBLE_EQ(ParseDouble(""), 0.0);
}

class HostVariableTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultVariablesKey(); }
  void TearDown() override { SetDefaultVariablesKey(); }
  testsupport::HostVariables vars_;
};

TEST_F(HostVariableTest, ReadVariableAnswersTextsUpToTheBytesRead) {
  vars_.Set("TEXT", "hello");
  vars_.Set("LONG", std::string(600, 'x'));
  vars_.Set("EXACT", std::string(511, 'y'));  // 511 characters and the NUL fill the buffer
  vars_.SetBinary("BINARY512", std::string(512, 'z'));
  vars_.SetBinary("EMBEDDED", std::string("ab\0cd", 5));
  const struct {
    const char* name;
    std::optional<std::string> value;
  } cases[] = {
      {"TEXT", "hello"},       {"text", "hello"},  // names compare without regard to case
      {"MISSING", std::nullopt}, {"LONG", std::nullopt},
      {"EXACT", std::string(511, 'y')}, {"BINARY512", std::string(512, 'z')},
      {"EMBEDDED", "ab"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadVariable(c.name), c.value) << c.name;
  EXPECT_EQ(ReadVariableInt("LONG"), 0);
}

TEST_F(HostVariableTest, TypedReadersGiveZeroForMissingValues) {
  vars_.Set("N", " 12 ");
  vars_.Set("D", "2.5");
  EXPECT_EQ(ReadVariableInt("N"), 12);
  EXPECT_DOUBLE_EQ(ReadVariableDouble("D"), 2.5);
  EXPECT_EQ(ReadVariableInt("NONE"), 0);
  EXPECT_DOUBLE_EQ(ReadVariableDouble("NONE"), 0.0);
}

TEST_F(HostVariableTest, TheCurrentKeyFollowsTheHostVersion) {
  vars_.Set("WHERE", "six", testsupport::HostVariables::kKey6);
  vars_.Set("WHERE", "seven", testsupport::HostVariables::kKey7);
  const struct {
    int version;
    const char* expected;
  } cases[] = {{1536, "six"}, {1791, "six"}, {1792, "seven"}, {2048, "seven"}, {0, "six"}};
  for (const auto& c : cases) {
    SelectVariablesKey(c.version);
    EXPECT_EQ(ReadVariable("WHERE"), c.expected) << c.version;
  }
  EXPECT_STREQ(SetDefaultVariablesKey(), kVariablesKey6);
  EXPECT_EQ(ReadVariable("WHERE"), "six");
}

TEST_F(HostVariableTest, CheckHostVersionTestsVersionAndRevisionApart) {
  const struct {
    std::optional<std::string> version, revision;
    int expected;
  } cases[] = {
      {"7.0", "1.0", 0},  // a newer version does not excuse an older revision
      {"6.0", "2.05", 1}, {"6.0", "2.06", 1}, {"5.9", "9.0", 0},
      {std::nullopt, "3.0", 0},  // no version at all
      {"6.0", std::nullopt, 0},
  };
  for (const auto& c : cases) {
    vars_.Remove("ZPVERSION");
    vars_.Remove("ZPREVISION");
    if (c.version) vars_.Set("ZPVERSION", *c.version);
    if (c.revision) vars_.Set("ZPREVISION", *c.revision);
    EXPECT_EQ(CheckHostVersion(6.0, 2.05), c.expected)
        << c.version.value_or("none") << " / " << c.revision.value_or("none");
  }
}

TEST_F(HostVariableTest, WrapCommentLinesUsesTheHostLineWidth) {
  std::string text = "alpha beta gamma";
  WrapCommentLines(text);  // no width set: unchanged
  EXPECT_EQ(text, "alpha beta gamma");
  vars_.Set("MDF_CHARSPERLINE", "10");
  WrapCommentLines(text);
  EXPECT_EQ(text, "alpha\\nbeta gamma");
}

TEST(PumpMessages, DispatchesUntilEmptyAndDropsQuit) {
  winport::ui::ScriptedAnswers script;
  const HWND window = winport::ui::CreateWindowHandle(nullptr);
  PostMessageA(window, WM_COMMAND, 1, 0);
  PostMessageA(window, WM_COMMAND, 2, 0);
  PostQuitMessage(0);
  PostMessageA(window, WM_COMMAND, 3, 0);
  PumpMessages();
  const auto dispatched = winport::ui::Headless().Dispatched();
  ASSERT_EQ(dispatched.size(), 2u);
  EXPECT_EQ(dispatched[1].wParam, 2u);
  MSG msg;
  // The quit message is gone; the message behind it waits for the next pump.
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_COMMAND);
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  winport::ui::DestroyWindowHandle(window);
}

TEST(IsFileReadable, TellsWhetherAFileCanBeRead) {
  testsupport::TempDir dir;
  testsupport::WriteFileBytes(dir.File("a.mdf"), "x");
  EXPECT_TRUE(IsFileReadable(dir.File("a.mdf")));
  EXPECT_FALSE(IsFileReadable(dir.File("missing.mdf")));
}

}  // namespace
}  // namespace importcore
