#include "importcore/record_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "importcore/fixed_text.h"

namespace importcore {
namespace {

struct Rec : ListHeader {
  FixedText<8> Name;
};

std::unique_ptr<Rec> Make(const std::string& name, uint32_t keep = 1, int32_t number = 0) {
  auto r = std::make_unique<Rec>();
  r->Name = name;
  r->keep = keep;
  r->number = number;
  return r;
}

std::vector<std::string> Names(const RecordList<Rec>& list) {
  std::vector<std::string> out;
  for (const Rec& r : list) out.push_back(r.Name.str());
  return out;
}

TEST(RecordList, AppendsNumbersAndFinds) {
  RecordList<Rec> list;
  EXPECT_EQ(list.NextNumber(), 1);
  EXPECT_EQ(list.FindByNumber(1), nullptr);
  for (const char* n : {"a", "B", "c"}) list.Append(Make(n));
  list.Renumber();
  EXPECT_EQ(list.Count(), 3u);
  EXPECT_EQ(list.NextNumber(), 4);
  EXPECT_EQ(list.FindByNumber(2)->Name.str(), "B");
  EXPECT_EQ(list.FindByNumber(0), nullptr);
  EXPECT_EQ(list.FindByNumber(4), nullptr);
  EXPECT_EQ(list.FindByNumber(-1), nullptr);
  EXPECT_EQ(list.FindByName("b"), list.Nth(1));  // without regard to case
  EXPECT_EQ(list.FindByName("d"), nullptr);
  EXPECT_EQ(list.FindByName(nullptr), nullptr);
  EXPECT_EQ(list.Nth(3), nullptr);
  EXPECT_TRUE(list.Contains(list.Nth(2)));
  Rec stranger;
  EXPECT_FALSE(list.Contains(&stranger));
}

TEST(RecordList, FindsByTheNumbersRecordsCarryWhateverTheirOrder) {
  RecordList<Rec> list;
  list.Append(Make("x", 1, 7));
  list.Append(Make("y", 1, 2));
  list.Append(Make("z", 1, 2));
  EXPECT_EQ(list.FindByNumber(7)->Name.str(), "x");
  EXPECT_EQ(list.FindByNumber(2)->Name.str(), "y");  // the first that carries it
  EXPECT_EQ(list.FindByNumber(1), nullptr);
  EXPECT_EQ(list.NextNumber(), 8);
  list.Nth(0)->number = -1;  // numbers compare unsigned
  EXPECT_EQ(list.NextNumber(), 0);
}

TEST(RecordList, DropUnusedTestsTheLowByteOfTheKeepWord) {
  RecordList<Rec> list;
  list.Append(Make("a", 0x100));  // low byte 0: dropped
  list.Append(Make("b", 1));
  list.Append(Make("c", 0));
  list.Append(Make("d", 0x1FF));
  list.DropUnused();
  EXPECT_EQ(Names(list), (std::vector<std::string>{"b", "d"}));
  list.Renumber();
  EXPECT_EQ(list.FindByNumber(2)->Name.str(), "d");

  RecordList<Rec> none;
  none.Append(Make("a", 0));
  none.Append(Make("b", 0));
  none.DropUnused();
  EXPECT_TRUE(none.Empty());
  EXPECT_EQ(none.First(), nullptr);
}

TEST(RecordList, UnlinkHandsTheRecordBack) {
  RecordList<Rec> list;
  for (const char* n : {"a", "b", "c"}) list.Append(Make(n));
  list.Renumber();
  auto b = list.Unlink(list.Nth(1));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Name.str(), "b");
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(list.FindByNumber(3)->Name.str(), "c");  // numbers stay until renumbered
  EXPECT_EQ(list.FindByNumber(2), nullptr);
  EXPECT_EQ(list.Unlink(b.get()), nullptr);
  list.Append(std::move(b));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "c", "b"}));
}

TEST(RecordList, InsertByNameKeepsByteOrder) {
  RecordList<Rec> list;
  for (const char* n : {"m", "c", "x", "m", "a", "\xE4"}) list.InsertByName(Make(n));
  EXPECT_EQ(Names(list), (std::vector<std::string>{"a", "c", "m", "m", "x", "\xE4"}));
}

TEST(FixedText, KeepsWidthMinusOneCharactersUpToTheFirstNul) {
  FixedText<4> t = "abcdef";
  EXPECT_EQ(t.str(), "abc");
  t = std::string("a\0b", 3);
  EXPECT_EQ(t.str(), "a");
  t = static_cast<const char*>(nullptr);
  EXPECT_TRUE(t.empty());
  EXPECT_EQ(CapText("abcdef", 0), "");
  EXPECT_EQ(CapText("abcdef", 20), "abcdef");
}

}  // namespace
}  // namespace importcore
