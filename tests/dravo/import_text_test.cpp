// The import's own text rules: identifiers, wrapped comment lines and the
// texts handed to the host.
#include "dravo/import_text.h"

#include <gtest/gtest.h>

namespace {

TEST(ImportText, IdentifiersPutAnSInFrontOfAnythingButALetter) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"Speed", "Speed"},          {"n mot  ", "n_mot"},      {"$EVENT", "S$EVENT"},   {"1bit", "S1bit"},
      {"a.b-c@2", "a_b_c@2"},      {"_x", "S_x"},             {"\xC4l", "\xC4l"},      {"\x8E" "1", "\x8E" "1"},
      {"\xB5s", "\xB5s"},          {"x\xE9y", "x_y"},          {"", "S"},               {"@1", "S@1"},
  };
  for (const auto& c : cases) {
    std::string name = c.in;
    dravo::MakeIdentifier(name);
    EXPECT_EQ(name, c.out) << c.in;
  }
}

TEST(ImportText, LinesBreakAtTheirLastBlankOnceTheyAreFull) {
  const struct {
    std::string in;
    int width;
    std::string out;
  } cases[] = {
      // The second blank becomes backslash-n; the rest (7 characters) stays on the next line.
      {"abc def ghij kl", 10, "abc def\\nghij kl"},
      {"abc def ghij kl", 0, "abc def ghij kl"},
      {"abc def ghij kl", -3, "abc def ghij kl"},
      {"short", 10, "short"},
      // No blank when the line is full: it breaks at the first blank after.
      {"abcdefghijkl mn", 10, "abcdefghijkl\\nmn"},
      {"abcdefghijklmn", 4, "abcdefghijklmn"},
      {"aa bb cc dd ee", 3, "aa\\nbb\\ncc\\ndd\\nee"},
      // Lines of any length.
      {std::string(300, 'x') + " " + std::string(300, 'y'), 400, std::string(300, 'x') + "\\n" + std::string(300, 'y')},
  };
  for (const auto& c : cases) EXPECT_EQ(dravo::WrapCommentLines(c.in, c.width), c.out) << c.in << " / " << c.width;
}

TEST(ImportText, ComStringsZeroExtendEachByte) {
  const winport::Bstr text(dravo::TextToBstr(std::string("\x80\xC4 z\0rest", 9)));
  EXPECT_EQ(winport::BstrView(text.Get()), std::u16string(u"\u0080\u00C4 z"));
  const winport::Bstr empty(dravo::TextToBstr(""));
  ASSERT_NE(empty.Get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.Get()), 0u);
  EXPECT_EQ(SysStringLen(winport::Bstr(dravo::TextToBstr(std::string(700, 'a'))).Get()), 700u);
}

}  // namespace
