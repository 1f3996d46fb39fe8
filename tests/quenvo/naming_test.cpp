// Hierarchical signal names: the levels kept by the naming options, quotes,
// the length limit, and the identifier made of a built name.
#include <gtest/gtest.h>

#include <string>

#include "quenvo/naming.h"

namespace {

using quenvo::BuildSignalName;
using quenvo::NamingOptions;

struct NameCase {
  const char* name;
  NamingOptions options;
  const char* built;
};

NamingOptions Slash(int32_t skipHigh = 0, int32_t skipLow = 0, int32_t minLevels = 0) {
  return NamingOptions{skipHigh, skipLow, minLevels, '/'};
}

TEST(BuildSignalName, LevelsKeptByTheOptions) {
  const NameCase kCases[] = {
      {"Motor/Drehzahl", Slash(), "Drehzahl\\Motor"},
      {"Motor/Drehzahl", Slash(1, 0, 1), "Drehzahl\\Motor"},  // MinLevels keeps the level SkipHigh drops
      {"Motor/Drehzahl", Slash(1), "Drehzahl"},
      {"a/b/c/d", Slash(), "d\\c\\b\\a"},
      {"a/b/c/d", Slash(1), "d\\c\\b"},
      {"a/b/c/d", Slash(0, 1), "d\\b\\a"},
      {"a/b/c/d", Slash(2, 2), "d"},
      {"a/b/c/d", Slash(2, 2, 1), "d\\a"},
      {"a/b/c/d", Slash(3, 0, 2), "d\\c\\b"},
      {"a/b/c/d", Slash(0, 100, 1), "d\\a"},
      {"a/b/c/d", Slash(1000), "d"},
      // Negative skips count as none rather than reading before the first level or past the last.
      {"a/b/c/d", Slash(-5), "d\\c\\b\\a"},
      {"a/b/c/d", Slash(0, -7), "d\\c\\b\\a"},
      {"a/b/c/d", Slash(-1, -1, 9), "d\\c\\b\\a"},
      // Quotes around a part go; inner ones stay.
      {"Root/\"Sub\"/\"Leaf\"", Slash(), "Leaf\\Sub\\Root"},
      {"Root/\"a\"b\"", Slash(), "a\"b\\Root"},
      {"/x", Slash(), "x\\"},
      // Without the separator, or with separator 0, the name is kept as it is.
      {"a/b/c/d", NamingOptions{0, 0, 0, '\0'}, "a/b/c/d"},
      {"a/b", NamingOptions{0, 0, 0, '.'}, "a/b"},
      {"a.b", NamingOptions{0, 0, 0, '.'}, "b\\a"},
      {"\"quoted\"", Slash(), "\"quoted\""},
  };
  for (const NameCase& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.options.SkipHigh) + "/" +
                 std::to_string(c.options.SkipLow) + "/" + std::to_string(c.options.MinLevels));
    EXPECT_EQ(BuildSignalName(c.name, c.options), c.built);
  }
}

TEST(BuildSignalName, LongNamesStopBeforeTheLevelThatDoesNotFitAndAreCutTo253) {
  const std::string leaf250(250, 'x');
  // 250 + "\" + 6 passes 254: the level is left out, its backslash stays.
  EXPECT_EQ(BuildSignalName("abcdef/" + leaf250, Slash()), leaf250 + "\\");
  EXPECT_EQ(BuildSignalName("abc/" + leaf250, Slash()), leaf250 + "\\abc");
  const std::string leaf254(254, 'y');
  EXPECT_EQ(BuildSignalName("a/" + leaf254, Slash()), std::string(253, 'y'));
  EXPECT_EQ(BuildSignalName("a/" + std::string(400, 'z'), Slash()), std::string(253, 'z'));
}

TEST(StripQuotes, OneLeadingAndOneTrailingQuote) {
  const struct {
    const char* in;
    const char* out;
  } kCases[] = {{"\"a\"", "a"}, {"\"a", "a"}, {"a\"", "a"}, {"\"\"a\"\"", "\"a\""}, {"\"", ""}, {"", ""}, {"a", "a"}};
  for (const auto& c : kCases) EXPECT_EQ(quenvo::StripQuotes(c.in), c.out) << c.in;
}

TEST(IdentifierOf, LeadingNonLettersSkippedThenSanitised) {
  const struct {
    const char* built;
    const char* name;
  } kCases[] = {
      {"Speed\\Engine\\Model Root", "Speed_Engine_Model_Root"},
      {"1st\\x", "st_x"},
      {"\\\\x", "x"},
      {"123", "S"},
      {"", "S"},
  };
  for (const auto& c : kCases) EXPECT_EQ(quenvo::IdentifierOf(c.built), c.name) << c.built;
  EXPECT_EQ(quenvo::IdentifierOf(std::string(300, 'n')), std::string(253, 'n'));
}

}  // namespace
