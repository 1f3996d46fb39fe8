// The small modules' support set: identifier rules, bounded texts, the
// numbered record list and the number and path helpers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ui/headless.h"
#include "platform/ui/window.h"
#include "smallimports/support/records.h"
#include "smallimports/support/system.h"
#include "smallimports/support/text.h"

namespace {

using smallimports::IdentifierRule;

struct IdentifierCase {
  const char* input;
  const char* filmor;
  const char* hestor;
  const char* jorvel;
};

TEST(MakeIdentifier, EachModuleVariant) {
  const std::string digits31 = "1" + std::string(30, 'x');
  const std::string hestorBound = "S1" + std::string(29, 'x');
  const IdentifierCase cases[] = {
      {"1abc", "S1abc", "S1abc", "S1abc"},
      {"a-b c", "a_b_c", "a_b_c", "a_b_c"},
      {"  x y  ", "S__x_y__", "S__x_y", "x_y"},
      {"", "S", "S", "S"},
      {"   ", "S___", "S_", "S"},
      {"$v", "S$v", "S$v", "S$v"},
      {"_v", "S_v", "S_v", "S_v"},
      {"@", "S@", "S@", "S@"},
      {"Ok_1$@", "Ok_1$@", "Ok_1$@", "Ok_1$@"},
      // OEM umlauts: kept (and a letter) for Hestor and Jorvel only.
      {"\x8E" "b\x81", "S_b_", "\x8E" "b\x81", "\x8E" "b\x81"},
      // Windows-1252 letters are no identifier characters.
      {"\xC4x", "S_x", "S_x", "S_x"},
  };
  for (const auto& c : cases) {
    std::string f = c.input, h = c.input, j = c.input;
    smallimports::MakeIdentifier(f, IdentifierRule::Filmor, 255);
    smallimports::MakeIdentifier(h, IdentifierRule::Hestor, 31);
    smallimports::MakeIdentifier(j, IdentifierRule::Jorvel, 254);
    EXPECT_EQ(f, c.filmor) << "Filmor: " << c.input;
    EXPECT_EQ(h, c.hestor) << "Hestor: " << c.input;
    EXPECT_EQ(j, c.jorvel) << "Jorvel: " << c.input;
  }
}

TEST(MakeIdentifier, NeverGrowsPastItsField) {
  // Hestor's 32-byte name: 31 characters and the "S" do not fit, the last one goes.
  smallimports::TextField<32> name;
  name = "1" + std::string(40, 'x');
  ASSERT_EQ(name.size(), 31u);
  smallimports::MakeIdentifier(name, IdentifierRule::Hestor);
  EXPECT_EQ(name.str(), "S1" + std::string(29, 'x'));
  // A name that needs no prefix keeps its full length.
  name = std::string(31, 'a');
  smallimports::MakeIdentifier(name, IdentifierRule::Hestor);
  EXPECT_EQ(name.str(), std::string(31, 'a'));
}

TEST(SanitizeName64, KeepsSixtyFourCharactersAndAddsNoPrefix) {
  EXPECT_EQ(smallimports::SanitizeName64("1 a-b"), "1_a_b");
  const std::string name64(64, 'n');
  EXPECT_EQ(smallimports::SanitizeName64(name64), name64);
  EXPECT_EQ(smallimports::SanitizeName64(name64 + "tail"), name64);
  // The Brevan name field holds all 64.
  smallimports::TextField<smallimports::BrevanWidths::kName> field;
  field = smallimports::SanitizeName64(name64);
  EXPECT_EQ(field.str(), name64);
}

TEST(Texts, CopiesAreBounded) {
  std::string dst = "old";
  smallimports::CopyTextN(dst, std::string(40, 'c'), 31);
  EXPECT_EQ(dst, std::string(31, 'c'));
  smallimports::CopyTextN(dst, "", 31);
  EXPECT_EQ(dst, "");
  smallimports::CopyTextN(dst, std::string("ab\0cd", 5), 31);
  EXPECT_EQ(dst, "ab");

  smallimports::TextField<40> unit;
  unit = std::string(60, 'u');
  EXPECT_EQ(unit.size(), 39u);
  unit.Assign("abcdef", 3);
  EXPECT_EQ(unit.str(), "abc");

  std::string t = "a  ";
  smallimports::TrimRight(t);
  EXPECT_EQ(t, "a");
  t = "   ";
  smallimports::TrimRight(t);
  EXPECT_EQ(t, " ");  // the first character stays
}

TEST(Texts, CaseInsensitiveComparisons) {
  EXPECT_TRUE(smallimports::EqualNoCase("binary_ieee_big_end", "BINARY_IEEE_BIG_END"));
  EXPECT_FALSE(smallimports::EqualNoCase("ASCII", "ASCI"));
  EXPECT_TRUE(smallimports::EqualPrefixNoCase("desc.chan_12", "DESC.CHAN_", 10));
  EXPECT_FALSE(smallimports::EqualPrefixNoCase("DESC.CHA", "DESC.CHAN_", 10));
}

struct Rec {
  int32_t number = 0;
  smallimports::TextField<32> Name;
};

TEST(RecordList, NumbersFromOneAndFinds) {
  smallimports::RecordList<Rec> list;
  EXPECT_EQ(list.FindNodeByIndex(1), nullptr);
  list.AppendNew().Name = "Alpha";
  list.AppendNew().Name = "Beta";
  list.AppendNew().Name = "Gamma";
  ASSERT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.FindNodeByIndex(0), nullptr);
  EXPECT_EQ(list.FindNodeByIndex(4), nullptr);
  EXPECT_EQ(list.FindNodeByIndex(-1), nullptr);
  ASSERT_NE(list.FindNodeByIndex(2), nullptr);
  EXPECT_EQ(list.FindNodeByIndex(2)->Name.str(), "Beta");
  EXPECT_EQ(list.FindNodeByName("gAMMA"), &list[2]);
  EXPECT_EQ(list.FindNodeByName("Delta"), nullptr);

  // A list numbered out of order is still searched by number.
  list[0].number = 3;
  list[2].number = 1;
  EXPECT_EQ(list.FindNodeByIndex(1), &list[2]);
  EXPECT_EQ(list.FindNodeByIndex(3), &list[0]);
  list.Renumber();
  EXPECT_EQ(list.FindNodeByIndex(1), &list[0]);
  list.Clear();
  EXPECT_EQ(list.FindNodeByIndex(1), nullptr);
}

TEST(Numbers, ParseLikeTheCRuntimeInTheCLocale) {
  EXPECT_EQ(smallimports::ParseInteger(" 42abc"), 42);
  EXPECT_EQ(smallimports::ParseInteger("-7"), -7);
  EXPECT_EQ(smallimports::ParseInteger("+8"), 8);
  EXPECT_EQ(smallimports::ParseInteger("x1"), 0);
  EXPECT_EQ(smallimports::ParseInteger(""), 0);
  EXPECT_EQ(smallimports::ParseInteger("99999999999999999999999"), INT64_MAX);
  EXPECT_EQ(smallimports::ParseInteger("-99999999999999999999999"), INT64_MIN);
  EXPECT_EQ(smallimports::ParseInteger("50000000000000000000"), INT64_MAX);
  EXPECT_EQ(smallimports::ParseInteger("-9223372036854775808"), INT64_MIN);
  EXPECT_DOUBLE_EQ(smallimports::ParseReal("2.000000E-03"), 0.002);
  EXPECT_DOUBLE_EQ(smallimports::ParseReal(" 3.906250E-003 "), 0.00390625);
  EXPECT_DOUBLE_EQ(smallimports::ParseReal("1,5"), 1.0);
  EXPECT_DOUBLE_EQ(smallimports::ParseReal("abc"), 0.0);
}

TEST(Dates, ScannedAndOutOfRange) {
  int n[6];
  ASSERT_TRUE(smallimports::ScanDateTime("1/2/99 10:20:30", '/', n));
  EXPECT_EQ(std::vector<int>(n, n + 6), (std::vector<int>{1, 2, 99, 10, 20, 30}));
  EXPECT_FALSE(smallimports::ScanDateTime("1.2.99 10:20", '.', n));
  EXPECT_FALSE(smallimports::ScanDateTime("1/2/99 10:20:30", '.', n));
  // Fields far outside the calendar give no time instead of overflowing.
  EXPECT_EQ(smallimports::LocalTimeValue(INT32_MIN, INT32_MIN, 1, 0, 0, 0), 0);
  EXPECT_EQ(smallimports::LocalTimeValue(2000, 1, 1, INT32_MAX, 0, 0), 0);
}

TEST(Messages, PumpDispatchesUntilQuit) {
  winport::ui::Headless().Reset();
  constexpr UINT kFirst = 0x0400, kSecond = 0x0401, kAfterQuit = 0x0402;
  PostMessageA(nullptr, kFirst, 1, 0);
  PostMessageA(nullptr, kSecond, 2, 0);
  PostQuitMessage(0);
  PostMessageA(nullptr, kAfterQuit, 3, 0);
  smallimports::PumpMessages();
  const auto dispatched = winport::ui::Headless().Dispatched();
  ASSERT_EQ(dispatched.size(), 2u);
  EXPECT_EQ(dispatched[0].message, kFirst);
  EXPECT_EQ(dispatched[1].message, kSecond);
  MSG left;
  EXPECT_TRUE(PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE));  // the message after WM_QUIT waits
  EXPECT_EQ(left.message, kAfterQuit);
}

TEST(Paths, TitleNameAndFolder) {
  EXPECT_EQ(smallimports::FileTitle("/data/run.1/test.x.rsp", 254), "test.x");
  EXPECT_EQ(smallimports::FileTitle("C:\\data\\Run.DTA", 254), "Run");
  EXPECT_EQ(smallimports::FileTitle("noext", 3), "noe");
  EXPECT_EQ(smallimports::FileNameOf("C:\\data\\Run.DTA"), "Run.DTA");
  EXPECT_EQ(smallimports::FolderOf("/data/run/h.hdr"), "/data/run/");
  EXPECT_EQ(smallimports::FolderOf("h.hdr"), "");
  EXPECT_FALSE(smallimports::CheckedMul(uint64_t{1} << 32, uint64_t{1} << 32).has_value());
  EXPECT_EQ(smallimports::CheckedMul(3, 5).value(), 15u);
}

}  // namespace
